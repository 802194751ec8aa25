#pragma once
// The yardstick: the least a Beast server on one thread can do for a JSON
// PUT, with no limits, routing or time-outs.

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace tvo::bench {

class MinimalBeastServer {
public:
    MinimalBeastServer(int port, std::function<std::string(const std::string&)> answer);
    ~MinimalBeastServer();
    MinimalBeastServer(const MinimalBeastServer&) = delete;
    MinimalBeastServer& operator=(const MinimalBeastServer&) = delete;

private:
    struct State;
    std::shared_ptr<State> state;
    std::thread thread;
};

}  // namespace tvo::bench
