#pragma once
// Runs a dock kind's road once per (effect, failure) and once per "dock
// pulled at step N", and checks each run against a table of what every
// operation owes the host when one of its effects fails: the code, the
// virtual time it may take, the log line, nothing escaping as an exception,
// nothing left behind, and a next road that works once the fault is gone.

#include <DockProtocol/DockProtoIF.h>
#include <DockSim/FaultPlan.h>
#include <DockSim/VirtualClock.h>
#include <Logger/LogClient.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tvo::torture {

using RC = DockProtoIF::ReturnCode;
using DockSim::Effect;
using DockSim::Failure;
using DockSim::FaultPlan;
using namespace std::chrono_literals;

inline const char* CodeName(RC code) {
    switch (code) {
        case RC::Ok: return "Ok";
        case RC::Failed: return "Failed";
        case RC::InProgress: return "InProgress";
        case RC::NotSupported: return "NotSupported";
    }
    return "?";
}

// What one call of the host gave.
struct Step {
    std::string operation;
    std::optional<RC> code;  // none: it threw
    std::string thrown;
    std::chrono::nanoseconds took{0};
};

// What one road gave: its steps, the effects up to the end of the road (the
// recovery road's are not among them), the log and whether the road after
// the fault worked.
struct RoadRun {
    std::vector<Step> steps;
    std::vector<Effect> effects;
    std::vector<std::pair<std::size_t, Effect>> struck;
    std::vector<CaptureSink::Line> log;
    std::string recoveryProblem;  // empty: the next road worked
    std::string leftBehind;       // empty: nothing
};

// Records the host's calls of a road with their virtual time.
class StepRecorder {
public:
    StepRecorder(FaultPlan& plan, DockSim::VirtualClock& clock, std::vector<Step>& steps)
        : plan(plan), clock(clock), steps(steps) {}

    // Calls the operation as a step named after it and numbered ("Associate
    // 3"); what it threw is kept, not passed on.
    RC Call(const std::string& name, const std::function<RC()>& operation) {
        const std::string label = name + " " + std::to_string(++calls[name]);
        plan.Operation(label);
        Step step;
        step.operation = label;
        const auto start = clock.Now();
        try {
            step.code = operation();
        } catch (const std::exception& e) {
            step.thrown = e.what();
        } catch (...) {
            step.thrown = "an exception of an unknown type";
        }
        step.took = clock.Now() - start;
        steps.push_back(step);
        return step.code.value_or(RC::Failed);
    }

private:
    FaultPlan& plan;
    DockSim::VirtualClock& clock;
    std::vector<Step>& steps;
    std::map<std::string, int> calls;
};

// What the host is owed by an operation when an effect under it fails.
struct Promise {
    std::set<RC> codes;
    std::chrono::milliseconds bound{0};
    // A line of this level that starts with this text; empty: none asked for.
    LogLevel level = LogLevel::Info;
    std::string line;
    // An exception that the operation passes on to the host by design.
    bool mayThrow = false;
};

// The table: by operation, then by failure, and where one operation makes
// effects that fail differently, by what the effect is; an operation's
// "otherwise" entry stands for the failures it does not list.
class PromiseTable {
public:
    PromiseTable& Add(const std::string& operation, std::initializer_list<Failure> failures, const Promise& promise) {
        return AddFor(operation, "", failures, promise);
    }
    // For the effects whose description starts with `what` ("SIOCGMIIPHY").
    PromiseTable& AddFor(const std::string& operation, const std::string& what, std::initializer_list<Failure> failures,
                         const Promise& promise) {
        for (const Failure failure : failures) {
            table[operation][static_cast<int>(failure)][what] = promise;
        }
        return *this;
    }
    PromiseTable& Otherwise(const std::string& operation, const Promise& promise) {
        fallback[operation] = promise;
        return *this;
    }

    const Promise* Find(const std::string& operation, const std::string& what, Failure failure) const {
        const auto found = table.find(operation);
        if (found != table.end()) {
            const auto entry = found->second.find(static_cast<int>(failure));
            if (entry != found->second.end()) {
                const Promise* best = nullptr;
                std::size_t longest = 0;
                for (const auto& [prefix, promise] : entry->second) {
                    if (what.rfind(prefix, 0) == 0 && (best == nullptr || prefix.size() > longest)) {
                        best = &promise;
                        longest = prefix.size();
                    }
                }
                if (best != nullptr) {
                    return best;
                }
            }
        }
        const auto other = fallback.find(operation);
        return other == fallback.end() ? nullptr : &other->second;
    }

private:
    std::map<std::string, std::map<int, std::map<std::string, Promise>>> table;
    std::map<std::string, Promise> fallback;
};

// Descriptors and threads of the process, to see what a run leaves.
inline std::size_t EntriesIn(const char* folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

// What a run left: descriptors and threads over the counts before it (the
// threads of a rig end just after it, so they get a moment), and files in
// its folder beyond the ones it keeps.
inline std::string LeftBehind(std::size_t descriptors, std::size_t threads) {
    std::string left;
    for (int i = 0; i < 200 && (EntriesIn("/proc/self/fd") > descriptors || EntriesIn("/proc/self/task") > threads);
         ++i) {
        std::this_thread::sleep_for(5ms);
    }
    if (EntriesIn("/proc/self/fd") > descriptors) {
        left += std::to_string(EntriesIn("/proc/self/fd") - descriptors) + " descriptors ";
    }
    if (EntriesIn("/proc/self/task") > threads) {
        left += std::to_string(EntriesIn("/proc/self/task") - threads) + " threads";
    }
    return left;
}

// Files in the folder other than the ones the road keeps by design: what a
// failed download, trim or rewrite left half done.
inline std::string StrayFiles(const std::filesystem::path& folder, const std::set<std::string>& kept) {
    std::string stray;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (kept.count(name) == 0) {
            stray += name + " ";
        }
    }
    return stray;
}

// A road's run with the process counted before and after it and its log
// kept: `body` makes the rig, drives the road and fills the run.
inline RoadRun MeasuredRun(LogLevel level, const std::function<void(RoadRun&)>& body) {
    RoadRun run;
    const std::size_t descriptors = EntriesIn("/proc/self/fd");
    const std::size_t threads = EntriesIn("/proc/self/task");
    {
        ScopedLogCapture log(level);
        body(run);
        run.log = log.Sink().Lines();
    }
    run.leftBehind += LeftBehind(descriptors, threads);
    return run;
}

// The road with the plan armed, then, with the fault gone, the next road on
// the same protocol object as the host goes on after any road. `drive`
// answers what went wrong for a road that must work.
inline void DriveTwice(FaultPlan& plan, RoadRun& run, const std::function<std::string()>& drive) {
    const std::string firstProblems = drive();
    run.effects = plan.Effects();
    run.struck = plan.Struck();
    plan.Heal();
    run.recoveryProblem = drive();
    if (run.struck.empty() && !firstProblems.empty()) {
        run.recoveryProblem = "without a fault: " + firstProblems;
    }
}

// Runs the road of a fresh rig with the plan armed, then the next road on the
// same protocol object with the fault gone.
using RoadRunner = std::function<RoadRun(FaultPlan& plan, const std::function<void()>& arm)>;

// The operation's base name: "SayHello 2" is a SayHello.
inline std::string OperationOf(const std::string& step) {
    return step.substr(0, step.find(' '));
}

inline bool HasLine(const std::vector<CaptureSink::Line>& log, LogLevel level, const std::string& start) {
    for (const auto& line : log) {
        if (line.level == level && line.text.rfind(start, 0) == 0) {
            return true;
        }
    }
    return false;
}

inline std::string Describe(std::size_t number, const Effect& effect) {
    return "effect " + std::to_string(number) + " (" + DockSim::Name(effect.kind) + " " + effect.what + " in " +
           effect.operation + ")";
}

// What the effect is, and "#2", "#3" when the same operation made the same
// effect before it: an operation that opens one file twice owes different
// things for each open.
inline std::string Occurrence(const std::vector<Effect>& effects, std::size_t number) {
    const Effect& effect = effects[number - 1];
    std::size_t seen = 0;
    for (std::size_t i = 0; i < number; ++i) {
        seen += effects[i].operation == effect.operation && effects[i].what == effect.what ? 1 : 0;
    }
    return seen > 1 ? effect.what + "#" + std::to_string(seen) : effect.what;
}

// The problems of one run whose first struck effect is `number`.
inline std::vector<std::string> Check(const RoadRun& run, const PromiseTable& promises, std::size_t number,
                                      Failure failure) {
    std::vector<std::string> problems;
    if (run.struck.empty() || run.struck.front().first != number) {
        problems.push_back("the fault did not meet effect " + std::to_string(number));
        return problems;
    }
    const Effect& effect = run.struck.front().second;
    const std::string operation = OperationOf(effect.operation);
    const Promise* promise = promises.Find(operation, Occurrence(run.effects, number), failure);
    for (const auto& step : run.steps) {
        if (!step.thrown.empty() && !(step.operation == effect.operation && promise && promise->mayThrow)) {
            problems.push_back(step.operation + " threw: " + step.thrown);
        }
    }
    if (!promise) {
        problems.push_back("no promise for " + operation + " on " + DockSim::Name(failure));
    } else {
        const Step* met = nullptr;
        for (const auto& step : run.steps) {
            if (step.operation == effect.operation) {
                met = &step;
            }
        }
        if (!met) {
            problems.push_back(effect.operation + " not among the steps");
        } else {
            if (met->code && promise->codes.count(*met->code) == 0) {
                problems.push_back(effect.operation + " gave " + CodeName(*met->code));
            }
            if (met->took > promise->bound) {
                problems.push_back(
                    effect.operation + " took " +
                    std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(met->took).count()) +
                    " ms of virtual time");
            }
        }
        if (!promise->line.empty() && !HasLine(run.log, promise->level, promise->line)) {
            problems.push_back("no log line \"" + promise->line + "\"");
        }
    }
    if (!run.recoveryProblem.empty()) {
        problems.push_back("next road: " + run.recoveryProblem);
    }
    if (!run.leftBehind.empty()) {
        problems.push_back("left behind: " + run.leftBehind);
    }
    return problems;
}

struct TortureReport {
    std::size_t effects = 0;
    std::size_t cases = 0;
    std::vector<std::string> differences;

    std::string Text() const {
        std::ostringstream text;
        text << effects << " effects, " << cases << " cases, " << differences.size() << " differ";
        for (const auto& difference : differences) {
            text << "\n  " << difference;
        }
        return text.str();
    }
};

// Every (effect, failure) of the road. Stride > 1 takes every stride-th
// effect only, for the slow sanitizer builds.
inline TortureReport EveryFailure(const RoadRunner& road, const PromiseTable& promises) {
    FaultPlan plan;
    const RoadRun clean = road(plan, [] {});
    TortureReport report;
    report.effects = clean.effects.size();
    if (!clean.recoveryProblem.empty()) {
        std::string tail;
        const std::size_t shown = std::min<std::size_t>(clean.log.size(), 12);
        for (std::size_t i = clean.log.size() - shown; i < clean.log.size(); ++i) {
            tail += "\n    " + clean.log[i].function + ": " + clean.log[i].text;
        }
        report.differences.push_back("the road without a fault: " + clean.recoveryProblem + tail);
    }
    for (std::size_t number = 1; number <= clean.effects.size(); ++number) {
        for (const Failure failure : DockSim::FailuresOf(clean.effects[number - 1])) {
            ++report.cases;
            const RoadRun run = road(plan, [&] { plan.FailAt(number, failure); });
            for (const auto& problem : Check(run, promises, number, failure)) {
                report.differences.push_back(Describe(number, clean.effects[number - 1]) + " " +
                                             DockSim::Name(failure) + ": " + problem);
            }
        }
    }
    return report;
}

// The dock pulled before each effect of the road: it and every later one
// fail, then the link comes back for the next road.
inline TortureReport PulledAtEveryStep(const RoadRunner& road, const PromiseTable& promises) {
    FaultPlan plan;
    const RoadRun clean = road(plan, [] {});
    TortureReport report;
    report.effects = clean.effects.size();
    for (std::size_t number = 1; number <= clean.effects.size(); ++number) {
        const auto failure = DockSim::LinkGone(clean.effects[number - 1]);
        if (!failure) {
            continue;  // a sleep or a file: the next effect the link fails is its own case
        }
        ++report.cases;
        const RoadRun run = road(plan, [&] { plan.FailFrom(number); });
        for (const auto& problem : Check(run, promises, number, *failure)) {
            report.differences.push_back("pulled at " + Describe(number, clean.effects[number - 1]) + ": " + problem);
        }
    }
    return report;
}

}  // namespace tvo::torture
