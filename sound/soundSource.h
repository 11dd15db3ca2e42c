// A producer of sample blocks and the queue between it and the analyser.
//
// The queue is a singly linked list guarded by a mutex, so that a source may
// fill it from a thread of its own (audio capture does) while the main thread
// drains it. It holds at most `capacity` blocks: when a producer outruns the
// consumer, the oldest block is dropped, which keeps the analysis close to what
// is playing now and bounds memory if the consumer stalls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "sound/soundBlock.h"

class SoundSource {
public:
    static constexpr size_t kDefaultCapacity = 1024;  // about six seconds

    // A capacity below 1 is taken as 1.
    explicit SoundSource(size_t capacity = kDefaultCapacity);
    // Frees every block still queued.
    virtual ~SoundSource();
    SoundSource(const SoundSource&) = delete;
    SoundSource& operator=(const SoundSource&) = delete;

    // Called once per frame with the visual time that passed, in whole
    // milliseconds. A source paced by the visual clock makes its blocks here;
    // one fed by another thread may do nothing.
    virtual void produce(int milliseconds) = 0;
    // Sources that follow real audio ignore the tempo.
    virtual void setTempo(double beatsPerMinute);

    size_t queuedBlocks() const;
    // The oldest queued block, or null when the queue is empty.
    std::unique_ptr<SoundBlock> takeBlock();
    // Blocks dropped because the queue was full, since construction.
    uint64_t droppedBlocks() const;
    size_t capacity() const { return capacity_; }

protected:
    // Appends a block at the tail; safe from any thread. A null block is ignored.
    void appendBlock(std::unique_ptr<SoundBlock> block);

private:
    mutable std::mutex mutex_;
    SoundBlock* head_ = nullptr;
    SoundBlock* tail_ = nullptr;
    size_t count_ = 0;
    const size_t capacity_;
    uint64_t dropped_ = 0;
    bool overflowReported_ = false;
};
