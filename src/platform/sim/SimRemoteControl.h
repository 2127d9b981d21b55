#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/RemoteControl.h"

namespace vx::platform::sim {

// Other processes played by the test: it sends requests to the copy that
// serves them and reads what that copy published; a send from this process
// is answered at once with `answer`.
class SimRemoteControl : public RemoteControl {
  public:
    std::unique_ptr<RemoteEndpoint> serve(std::function<void(RemoteRequest)> handler) override {
        handler_ = std::move(handler);
        return std::make_unique<Endpoint>(*this);
    }
    void send(RemoteRequest request,
              std::function<void(std::expected<void, Error> taken)> done) override {
        sent.push_back(request);
        done(answer);
    }

    // Hands `request` to the serving copy as another process would; false
    // when no copy serves.
    bool request(RemoteRequest request) {
        if (!handler_) {
            return false;
        }
        // A copy: the handler may stop serving while it runs.
        const std::function<void(RemoteRequest)> handler = handler_;
        handler(request);
        return true;
    }

    std::vector<RemoteState> published;  // every state, in order, repeats included
    std::vector<RemoteRequest> sent;
    std::expected<void, Error> answer;

  private:
    class Endpoint : public RemoteEndpoint {
      public:
        explicit Endpoint(SimRemoteControl& control) : control_(control) {}
        ~Endpoint() override { control_.handler_ = nullptr; }
        void publish(const RemoteState& state) override { control_.published.push_back(state); }

      private:
        SimRemoteControl& control_;
    };

    std::function<void(RemoteRequest)> handler_;
};

}  // namespace vx::platform::sim
