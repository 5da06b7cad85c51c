#include "install/entry_writer.h"

#include <utility>

#include "platform/text.h"

namespace {

// The decoder hands out 64 KiB blocks; files go to disk in pieces of up to
// this size, and at most this many bytes wait for the disk.
constexpr size_t kWriteBlock = 1 << 20;
constexpr size_t kQueueLimit = 8 * kWriteBlock;
// An idle writer is woken for a batch, not for every small file's jobs:
// each wake-up costs both threads a system call.
constexpr size_t kWakeBytes = 2 * kWriteBlock;
constexpr size_t kWakeJobs = 1024;

}  // namespace

EntryWriter::EntryWriter(std::vector<archive*> outs) {
    for (archive* out : outs)
        m_lanes.push_back(Lane{out, {}, 0, true});
    m_thread = std::thread(&EntryWriter::Loop, this);
}

EntryWriter::~EntryWriter() {
    Finish();
}

void EntryWriter::Begin(archive_entry* entry, size_t lane) {
    Job job{Job::kHeader, lane, Entry(archive_entry_clone(entry)), {}, 0, true};
    Push(std::move(job));
}

void EntryWriter::Data(const void* block, size_t size, int64_t offset, size_t lane) {
    std::vector<char>& pending = m_lanes[lane].pending;
    int64_t& pendingOffset = m_lanes[lane].pendingOffset;
    const bool follows = offset == pendingOffset + static_cast<int64_t>(pending.size());
    if (!pending.empty() && (!follows || pending.size() + size > kWriteBlock))
        FlushPending(lane);
    if (pending.empty()) {
        pendingOffset = offset;
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_spare.empty()) {
            pending.swap(m_spare.back());
            m_spare.pop_back();
        }
        pending.reserve(kWriteBlock);
    }
    const char* bytes = static_cast<const char*>(block);
    pending.insert(pending.end(), bytes, bytes + size);
}

void EntryWriter::End(bool readOk, size_t lane) {
    FlushPending(lane);
    Push(Job{Job::kEnd, lane, nullptr, {}, 0, readOk});
}

int EntryWriter::TakeFailures() {
    const int failures = m_failures.load();
    const int fresh = failures - m_taken;
    m_taken = failures;
    return fresh;
}

bool EntryWriter::Finish() {
    if (m_finished)
        return true;
    m_finished = true;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
        m_writerIdle = false;
    }
    m_work.notify_one();
    m_thread.join();
    bool closed = true;
    for (Lane& lane : m_lanes)
        closed = archive_write_close(lane.out) >= ARCHIVE_WARN && closed;
    return closed;
}

void EntryWriter::FlushPending(size_t lane) {
    std::vector<char>& pending = m_lanes[lane].pending;
    if (pending.empty())
        return;
    Job job{Job::kData, lane, nullptr, std::move(pending), m_lanes[lane].pendingOffset, true};
    pending = std::vector<char>();
    Push(std::move(job));
}

// Waits while the queue is full, so that a slow disk holds the decoder back
// rather than filling memory.
void EntryWriter::Push(Job job) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_room.wait(lock,
                [&] { return m_jobs.empty() || m_queuedBytes + job.bytes.size() <= kQueueLimit; });
    m_queuedBytes += job.bytes.size();
    m_jobs.push_back(std::move(job));
    const bool wake = m_writerIdle && (m_queuedBytes >= kWakeBytes || m_jobs.size() >= kWakeJobs);
    if (wake)
        m_writerIdle = false;
    lock.unlock();
    if (wake)
        m_work.notify_one();
}

// Takes the whole queue at a time; the bytes count as queued until written.
void EntryWriter::Loop() {
    const ScopedUtf8Names utf8Names;
    std::deque<Job> batch;
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        while (m_jobs.empty() && !m_stop) {
            m_writerIdle = true;
            m_work.wait(lock);
        }
        if (m_jobs.empty())
            return;  // stopped and drained
        m_writerIdle = false;
        batch.swap(m_jobs);
        lock.unlock();
        size_t written = 0;
        for (Job& job : batch) {
            Handle(job);
            written += job.bytes.size();
        }
        lock.lock();
        m_queuedBytes -= written;
        for (Job& job : batch)
            if (job.kind == Job::kData)
                Recycle(std::move(job.bytes));
        batch.clear();
        lock.unlock();
        m_room.notify_all();  // every waiting decoder may fit now
        lock.lock();
    }
}

// Under m_lock: a few buffers are kept, so that no block is allocated anew.
void EntryWriter::Recycle(std::vector<char>&& bytes) {
    if (m_spare.size() * kWriteBlock >= kQueueLimit + kWriteBlock)
        return;
    bytes.clear();
    m_spare.push_back(std::move(bytes));
}

void EntryWriter::Handle(Job& job) {
    Lane& lane = m_lanes[job.lane];
    switch (job.kind) {
        case Job::kHeader:
            // A copy that could not be made (out of memory) fails the entry.
            lane.entryOk =
                job.entry && archive_write_header(lane.out, job.entry.get()) >= ARCHIVE_WARN;
            break;
        case Job::kData:
            // The disk writer reports a refused write (a full disk) as a
            // warning: a file that lacks data is a failed item, never a success.
            if (lane.entryOk && archive_write_data_block(lane.out, job.bytes.data(),
                                                         job.bytes.size(), job.offset) < ARCHIVE_OK)
                lane.entryOk = false;
            break;
        case Job::kEnd:
            if (archive_write_finish_entry(lane.out) < ARCHIVE_WARN)
                lane.entryOk = false;
            if (!lane.entryOk || !job.readOk)
                ++m_failures;
            lane.entryOk = true;
            break;
    }
}
