#pragma once
// Records a road: wraps a protocol environment so that every effect the
// protocol object makes on the dock and the system is written down as it
// happens, and the protocol object itself so that the host's calls and the
// library's call-backs are too. Nothing is wrapped, and nothing costs, when
// no recorder is made.

#include <DockProtocol/DockProtoIF.h>
#include <DockProtocol/OskinDockCallbackIF.h>

#include <memory>
#include <string>

namespace tvo {
struct ProtocolEnvironment;
}

namespace tvo::Recording {

struct RecorderOptions {
    std::string dock;        // the dock kind, for the header
    bool simulated = false;  // against a simulator
    // Serial numbers, MAC addresses and tenant IDs become stable stand-ins.
    // The recording is then kept in memory and written when it ends, so that
    // nothing of the original reaches the disk.
    bool redact = false;
    std::string tool;  // who made it, for the header
};

class Recorder {
public:
    // Creates (or empties) the file and writes the header; throws
    // std::runtime_error when it cannot. The thread that makes the recorder
    // is the "host" thread of the recording, and its time starts now.
    Recorder(const std::string& path, const RecorderOptions& options);
    // Ends the recording (see Finish).
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Wraps every effect of the environment: HTTP clients and servers, the
    // discovery socket, ioctls, interface queries, the connection manager and
    // the hosts file. Apply after the environment is otherwise complete. The
    // wrappers keep what they write to alive; events after Finish are dropped.
    void Attach(ProtocolEnvironment& environment) const;

    // A protocol object that records each call of the host and its result,
    // and each call-back, then hands it to dock. dock must outlive it.
    std::unique_ptr<DockProtoIF> Wrap(DockProtoIF& dock) const;
    // The same for the Oskin host's answers to the base.
    std::unique_ptr<OskinDockCallbackIF> Wrap(OskinDockCallbackIF& host) const;

    // Writes what is still held (all of it when redacting) and closes the
    // file; later events are dropped. False, with the reason, when the file
    // could not be written.
    bool Finish(std::string& error);

    struct State;

private:
    std::shared_ptr<State> state;
};

// The lines of a recording with serial numbers, MAC addresses (as text and
// as bytes) and tenant IDs replaced by stable stand-ins of the same length:
// the same value always gets the same stand-in.
std::string Redact(const std::string& lines);

}  // namespace tvo::Recording
