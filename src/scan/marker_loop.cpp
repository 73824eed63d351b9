#include "scan/marker_loop.hpp"

#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "formats/x_genotypes.hpp"

namespace quillon {

namespace {

struct Slot {
    Marker marker;
    MarkerOutcome outcome;
    bool done = false;
};

// Delivers the selected markers in order, seeking only where a run starts after a gap.
class MarkerSource {
public:
    MarkerSource(GenotypeReader& reader, const Selection& s, const ScanContext& ctx, const InterruptWatch& interrupt)
        : reader_(reader), runs_(s.runs), keep_(ctx.keep), x_sex_(ctx.study.x_sex), par_(ctx.par), interrupt_(interrupt),
          position_(runs_.empty() ? 0 : runs_.front().first) {
        for (std::size_t p = 0; p < keep_.size(); ++p)
            if (!keep_[p]) left_out_.push_back(p);
    }
    // Reads the next selected marker into m; false when there is none left.  Throws
    // Interrupted once SIGINT or SIGTERM has arrived.
    bool next(Marker& m) {
        interrupt_.check();
        if (run_ == runs_.size()) return false;
        if (reader_at_ != position_) reader_.seek(position_);
        if (!reader_.next(m))
            throw InputError("the genotype file ended before marker " + std::to_string(position_ + 1) +
                             " of the " + std::to_string(reader_.marker_count()) + " it announces");
        for (const std::size_t p : left_out_) {  // a person left out is untyped
            m.genotype[p] = -1;
            if (!m.likelihood.empty()) m.likelihood[p] = {1.0, 1.0, 1.0};
            if (!m.dosage.empty()) m.dosage[p] = std::nan("");
        }
        prepare_marker(m, x_sex_, keep_, par_);
        reader_at_ = ++position_;
        if (position_ == runs_[run_].second && ++run_ < runs_.size()) position_ = runs_[run_].first;
        return true;
    }

private:
    GenotypeReader& reader_;
    const std::vector<std::pair<long, long>>& runs_;
    const std::vector<char>& keep_;
    std::vector<std::size_t> left_out_;  // the people keep_ leaves out
    const std::vector<std::int8_t>& x_sex_;
    ParBuild par_;
    const InterruptWatch& interrupt_;
    std::size_t run_ = 0;
    long position_ = 0, reader_at_ = 0;
};

// The workers and the ring they share with the reading thread.
class Pipeline {
public:
    Pipeline(const ScanContext& ctx, unsigned threads) : ctx_(ctx), slots_(4 * static_cast<std::size_t>(threads)) {
        try {
            for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
        } catch (...) {  // a thread that cannot start: the started ones end before the error goes on
            stop();
            throw;
        }
    }
    ~Pipeline() { stop(); }

    std::size_t size() const { return slots_.size(); }
    Marker& marker(std::size_t i) { return slots_[i].marker; }

    // Hands filled slot i to the workers (or marks it done when there is nothing to analyse).
    void submit(std::size_t i) {
        {
            const std::lock_guard lock(mutex_);
            if (slots_[i].marker.info.multiallelic) {
                slots_[i].done = true;
                return;
            }
            queue_.push_back(i);
        }
        work_ready_.notify_one();
    }

    // Waits until slot i is done and returns it; the caller frees it with release(i).
    const Slot& wait(std::size_t i) {
        std::unique_lock lock(mutex_);
        slot_done_.wait(lock, [&] { return slots_[i].done || error_; });
        if (error_) std::rethrow_exception(error_);
        return slots_[i];
    }
    void release(std::size_t i) {
        const std::lock_guard lock(mutex_);
        slots_[i].done = false;
    }

private:
    void stop() {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        work_ready_.notify_all();
        for (std::thread& t : workers_) t.join();
    }

    // After an error (its scratch may be half built) no worker takes another marker.
    void work() {
        MarkerFamilies scratch;
        std::unique_lock lock(mutex_);
        while (true) {
            work_ready_.wait(lock, [&] { return stop_ || error_ || !queue_.empty(); });
            if (stop_ || error_) return;
            const std::size_t i = queue_.front();
            queue_.pop_front();
            lock.unlock();
            std::exception_ptr error;
            try {
                analyse_marker(ctx_, slots_[i].marker, scratch, slots_[i].outcome);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            slots_[i].done = true;
            if (error && !error_) {
                error_ = error;
                work_ready_.notify_all();
            }
            slot_done_.notify_all();
            // After an error this worker's scratch may be half built: it takes no more work.
            if (error) return;
        }
    }

    const ScanContext& ctx_;
    std::vector<Slot> slots_;
    std::deque<std::size_t> queue_;
    std::mutex mutex_;
    std::condition_variable work_ready_, slot_done_;
    bool stop_ = false;
    std::exception_ptr error_;
    std::vector<std::thread> workers_;
};

}  // namespace

void run_marker_loop(const ScanContext& ctx, GenotypeReader& reader, const Selection& selection, unsigned threads,
                     OutcomeWriter& writer, Progress& progress, const InterruptWatch& interrupt) {
    MarkerSource source(reader, selection, ctx, interrupt);
    if (threads <= 1) {
        Slot slot;
        MarkerFamilies scratch;
        for (long done = 0; source.next(slot.marker);) {
            if (!slot.marker.info.multiallelic) analyse_marker(ctx, slot.marker, scratch, slot.outcome);
            writer.write(slot.marker, slot.outcome);
            progress.update(++done);
        }
        return;
    }
    Pipeline pipe(ctx, threads);
    const std::size_t ring = pipe.size();
    long read = 0, written = 0;
    bool more = true;
    while (written < read || more) {
        // Fill every free slot, then write the oldest.
        while (more && static_cast<std::size_t>(read - written) < ring) {
            const std::size_t i = static_cast<std::size_t>(read) % ring;
            more = source.next(pipe.marker(i));
            if (!more) break;
            pipe.submit(i);
            ++read;
        }
        if (written == read) break;
        const std::size_t i = static_cast<std::size_t>(written) % ring;
        const Slot& slot = pipe.wait(i);
        writer.write(slot.marker, slot.outcome);
        pipe.release(i);
        progress.update(++written);
    }
}

}  // namespace quillon
