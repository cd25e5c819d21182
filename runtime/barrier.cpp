#include "runtime/barrier.hpp"

#include "runtime/runtime_error.hpp"
#include "runtime/runtime_record.hpp"
#include "runtime/throw.hpp"

#include <exception>
#include <new>

namespace qor {

static BarrierHandler handler = nullptr;

BarrierHandler set_barrier_handler(BarrierHandler h) {
    BarrierHandler previous = handler;
    handler = h;
    return previous;
}

void report_failure(const BarrierFailure& failure) {
    switch (failure.kind) {
        case BarrierFailure::THROWN:        runtime::error(runtime::ERR_NO_CATCH, failure.address);
        case BarrierFailure::OUT_OF_MEMORY: runtime::error(runtime::ERR_OUT_OF_MEMORY, failure.address);
        default:                            runtime::error(runtime::ERR_UNKNOWN, failure.address);
    }
}

BarrierFailure current_failure(uintptr_t fallback_address) {
    try {
        throw;
    } catch (const Thrown& t) {
        // The runtime record names the throw's site when it came through system_throw.
        uintptr_t at = runtime::record->thrown == t.code && runtime::record->throw_address
                           ? runtime::record->throw_address
                           : fallback_address;
        return {BarrierFailure::THROWN, t.code, nullptr, at};
    } catch (const std::bad_alloc&) {
        return {BarrierFailure::OUT_OF_MEMORY, 0, nullptr, fallback_address};
    } catch (const std::exception& e) {
        return {BarrierFailure::STD_EXCEPTION, 0, e.what(), fallback_address};
    } catch (...) {
        return {BarrierFailure::OTHER, 0, nullptr, fallback_address};
    }
}

void barrier_failed(const BarrierFailure& failure) noexcept {
    if (!handler) report_failure(failure);
    try {
        handler(failure);
    } catch (...) {
        report_failure(current_failure(failure.address));
    }
}

}  // namespace qor
