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

// The beat of a source that makes its own: its tempo in beats per minute (0
// when it has none) and the seconds from its last beat to the end of the
// newest block it has queued.
struct KnownBeat {
    float tempo = 0.0f;
    double sinceBeat = 0.0;
};

// produce() takes whole milliseconds. A caller whose frames last a fraction
// of a millisecond more (16.67 ms at 60 frames per second) passes the whole
// part and carries the rest to the next frame, or the sound falls behind the
// pictures by that fraction every frame.
class MillisecondCarry {
public:
    // The whole milliseconds of `seconds` plus what was carried; keeps the
    // fraction. A time that is not a positive number gives 0.
    int take(double seconds);

private:
    double carried_ = 0.0;
};

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
    // The beat of a source that makes its own; none (tempo 0) for one that
    // plays real sound, whose beat must be found by listening.
    virtual KnownBeat knownBeat() const { return KnownBeat(); }

    size_t queuedBlocks() const;
    // The oldest queued block, or null when the queue is empty.
    std::unique_ptr<SoundBlock> takeBlock();
    // Blocks dropped because the queue was full, since construction.
    uint64_t droppedBlocks() const;
    // Blocks appended since construction, dropped ones included: with
    // queuedBlocks() it tells how far into the sound the consumer has got.
    uint64_t appendedBlocks() const;
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
    uint64_t appended_ = 0;
    bool overflowReported_ = false;
};
