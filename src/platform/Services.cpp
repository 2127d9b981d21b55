#include "platform/Services.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace vx::platform {

namespace {
std::atomic<Services*> installedServices{nullptr};
std::atomic<uint64_t> installations{0};
}  // namespace

Services& services() {
    Services* current = installedServices.load(std::memory_order_acquire);
    if (current == nullptr) {
        std::fputs("Ventilux: no platform services are installed\n", stderr);
        std::abort();
    }
    return *current;
}

uint64_t servicesGeneration() {
    return installations.load(std::memory_order_acquire);
}

ServicesInstallation::ServicesInstallation(Services& installed) {
    Services* expected = nullptr;
    if (!installedServices.compare_exchange_strong(expected, &installed,
                                                   std::memory_order_acq_rel)) {
        std::fputs("Ventilux: platform services are installed twice\n", stderr);
        std::abort();
    }
    installations.fetch_add(1, std::memory_order_acq_rel);
}

ServicesInstallation::~ServicesInstallation() {
    installedServices.store(nullptr, std::memory_order_release);
}

}  // namespace vx::platform
