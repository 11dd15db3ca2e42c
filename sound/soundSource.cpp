#include "sound/soundSource.h"

#include <algorithm>
#include <cmath>

#include "app/log.h"

int MillisecondCarry::take(double seconds) {
    if (!(seconds > 0.0) || !std::isfinite(seconds)) return 0;
    // A frame of over a day is not a frame; keep the int in range.
    carried_ += std::min(seconds, 86400.0) * 1000.0;
    const double whole = std::floor(carried_);
    carried_ -= whole;
    return static_cast<int>(whole);
}

SoundSource::SoundSource(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {}

SoundSource::~SoundSource() {
    while (head_) {
        SoundBlock* next = head_->next;
        delete head_;
        head_ = next;
    }
}

void SoundSource::setTempo(double) {}

size_t SoundSource::queuedBlocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

uint64_t SoundSource::droppedBlocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

uint64_t SoundSource::appendedBlocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return appended_;
}

std::unique_ptr<SoundBlock> SoundSource::takeBlock() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!head_) return nullptr;
    SoundBlock* block = head_;
    head_ = block->next;
    if (!head_) tail_ = nullptr;
    --count_;
    block->next = nullptr;
    if (count_ < capacity_ / 2) overflowReported_ = false;
    return std::unique_ptr<SoundBlock>(block);
}

void SoundSource::appendBlock(std::unique_ptr<SoundBlock> block) {
    if (!block) return;
    SoundBlock* dropped = nullptr;
    bool report = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ == capacity_) {
            dropped = head_;
            head_ = dropped->next;
            if (!head_) tail_ = nullptr;
            --count_;
            ++dropped_;
            report = !overflowReported_;
            overflowReported_ = true;
        }
        block->next = nullptr;
        SoundBlock* raw = block.release();
        if (tail_) {
            tail_->next = raw;
        } else {
            head_ = raw;
        }
        tail_ = raw;
        ++count_;
        ++appended_;
    }
    delete dropped;
    // Once per overflow episode: the queue must drain to half before we warn again.
    if (report) Log(LOG_WARNING, "Sound queue full, dropping the oldest blocks\n");
}
