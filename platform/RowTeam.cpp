#include "RowTeam.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace zk {

namespace {

// Below this the calling thread alone is quicker (waking a helper costs
// some 10-30 microseconds).
constexpr std::size_t kTeamMinimum = std::size_t(1) << 20;
constexpr int kHelpersMost = 3;

struct Job
{
    int count = 0;
    const std::function<std::pair<int, int>(int)> *needs = nullptr;
    const std::function<void(int)> *work = nullptr;
    std::atomic<int> next{0};     // the next band to hand out, counting down
    std::atomic<int> finished{0}; // bands done
    std::atomic<int> helpers{0};  // helpers that may still touch the job
    std::unique_ptr<std::atomic<bool>[]> done;

    // Takes bands until none is left; false at once when there was none.
    void Run()
    {
        for (;;) {
            const int band = next.fetch_sub(1, std::memory_order_relaxed);
            if (band < 0)
                return;
            const auto [first, last] = (*needs)(band);
            for (int b = std::max(first, band + 1); b <= std::min(last, count - 1); ++b)
                while (!done[std::size_t(b)].load(std::memory_order_acquire))
                    std::this_thread::yield();
            (*work)(band);
            done[std::size_t(band)].store(true, std::memory_order_release);
            finished.fetch_add(1, std::memory_order_acq_rel);
        }
    }
};

// The helpers sleep on `calls` between jobs. A helper counts itself in
// `inside` while it looks at `current` and signs on to the job it finds; the
// caller takes its job away, waits for `inside` to fall to zero (a few
// instructions) and then for its own helpers to sign off, so no helper
// touches a job that has ended, and no caller waits for another's job.
struct Team
{
    std::atomic<unsigned> calls{0};
    std::atomic<Job *> current{nullptr};
    std::atomic<int> inside{0};
    int helpers = 0;

    void Helper()
    {
        unsigned seen = 0;
        for (;;) {
            calls.wait(seen, std::memory_order_acquire);
            seen = calls.load(std::memory_order_acquire);
            inside.fetch_add(1);
            Job *job = current.load();
            if (job)
                job->helpers.fetch_add(1);
            inside.fetch_sub(1);
            if (job) {
                job->Run();
                job->helpers.fetch_sub(1, std::memory_order_release); // the last touch
            }
        }
    }
};

std::atomic<bool> g_shared{true};

// Made at the first large picture and kept to the program's end (the
// helpers only sleep); never freed, so no helper outlives its team.
Team *team()
{
    static Team *const t = [] {
        auto *made = new Team;
        const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
        for (int k = 0; k < std::min(kHelpersMost, cores - 1); ++k) {
            try {
                std::thread([made] { made->Helper(); }).detach();
                ++made->helpers;
            } catch (const std::system_error &) {
                break; // fewer helpers: the caller does their share
            }
        }
        return made;
    }();
    return t;
}

} // namespace

void RunBandsDescending(int count, std::size_t bytes, const std::function<std::pair<int, int>(int band)> &needs,
                        const std::function<void(int band)> &work)
{
    if (count <= 0)
        return;
    if (bytes < kTeamMinimum || count < 2 || !g_shared.load(std::memory_order_relaxed)) {
        // The same order as the team's, without the waits.
        for (int band = count - 1; band >= 0; --band)
            work(band);
        return;
    }
    Team *t = team();
    Job job;
    job.count = count;
    job.needs = &needs;
    job.work = &work;
    job.next.store(count - 1);
    job.done = std::make_unique<std::atomic<bool>[]>(std::size_t(count));
    const bool shared = t->helpers > 0;
    if (shared) {
        // One caller at a time hands out work; a second one does its own.
        Job *none = nullptr;
        if (!t->current.compare_exchange_strong(none, &job)) {
            job.Run();
            return;
        }
        t->calls.fetch_add(1, std::memory_order_release);
        t->calls.notify_all();
    }
    job.Run();
    // Bands a helper still works on.
    while (job.finished.load(std::memory_order_acquire) < count)
        std::this_thread::yield();
    if (shared) {
        t->current.store(nullptr);
        while (t->inside.load() > 0)
            std::this_thread::yield();
        while (job.helpers.load(std::memory_order_acquire) > 0)
            std::this_thread::yield();
    }
}

void ShareRowsWithHelpers(bool on)
{
    g_shared.store(on);
}

} // namespace zk
