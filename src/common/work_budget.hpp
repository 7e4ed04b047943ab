// The one polling rule. Every loop whose work can grow faster than its input
// charges that work to a WorkBudget, which runs the interrupt poll each time
// about a millisecond's worth has been charged since the last poll. Polls then
// follow the work actually done, however unevenly it falls on the iterations,
// and cost nothing measurable.
#pragma once

#include <cstdint>
#include <expected>
#include <type_traits>

#include "kernel_types.hpp"

namespace quorvane {

// Thrown where a poll asks to stop in the middle of work that has no result
// to return early with, such as a table's growth; the kernel that owns the
// budget catches it, through interruptible, and returns kInterrupted.
struct Interrupted {};

class WorkBudget {
public:
    // A unit is about a nanosecond of simple work: one word operation, one set
    // bit visited. Charges need not be precise, only proportional.
    static constexpr std::uint64_t kUnitsPerPoll = std::uint64_t{1} << 20;

    explicit WorkBudget(InterruptPoll poll) noexcept : poll_(poll) {}

    // Records `units` of work just done. True when a poll ran and asked the
    // caller to stop (the caller then returns kInterrupted).
    [[nodiscard]] bool charge(std::uint64_t units) noexcept {
        if (units < remaining_) [[likely]] {
            remaining_ -= units;
            return false;
        }
        return poll();
    }

    // Whether a poll has asked to stop. Every later charge says so too, without polling again.
    bool stopped() const noexcept { return stopped_; }

    // The same for work that cannot stop by returning: it unwinds instead.
    void charge_or_unwind(std::uint64_t units) {
        if (charge(units)) throw Interrupted{};
    }

private:
    // Out of line, so that loops charging the budget keep their own work tight.
    [[gnu::cold, gnu::noinline]] bool poll() noexcept {
        if (!stopped_) stopped_ = poll_();
        remaining_ = stopped_ ? 0 : kUnitsPerPoll;
        return stopped_;
    }

    InterruptPoll poll_;
    std::uint64_t remaining_ = kUnitsPerPoll;
    bool stopped_ = false;
};

// The result of work(budget), a kernel's body whose tables charge the budget
// as they grow and as they are freed: kInterrupted once a poll has asked to
// stop, whether the body saw it, unwound with Interrupted, or had finished
// and was freeing its tables.
template <class Work>
auto interruptible(InterruptPoll interrupt, Work&& work) -> std::invoke_result_t<Work&, WorkBudget&> {
    WorkBudget budget(interrupt);
    try {
        auto result = work(budget);
        if (budget.stopped()) return std::unexpected(kInterrupted);
        return result;
    } catch (const Interrupted&) {
        return std::unexpected(kInterrupted);
    }
}

}  // namespace quorvane
