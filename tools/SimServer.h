#pragma once
// A small DDEML server for the peer simulators: one service, one topic, any
// number of conversations. The simulator overrides the hooks it needs; all of
// them run on the main thread from inside the message pump.

#include <windows.h>
// ddeml.h needs the types of windows.h declared first.
#include <ddeml.h>

#include <cstdio>
#include <string>

namespace quillon::tools {

class SimServer {
  public:
    SimServer() = default;
    virtual ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Registers the service. False (with a message on stderr) on failure.
    bool Start(const std::string& service, const std::string& topic);

    // From now on writes the client's process id to `path`, one line per
    // conversation opened. False when the file cannot be written.
    bool LogConnectsTo(const std::string& path);

    // Sends the current value of the item to every advise loop on it.
    void PostAdvise(const std::string& item);

    // Dispatches messages for up to `milliseconds` (0: only what is waiting).
    // Returns false once a WM_QUIT was seen.
    bool Pump(DWORD milliseconds);

    int AdviseLoops() const { return adviseLoops_; }
    int Conversations() const { return conversations_; }
    DWORD Instance() const { return instance_; }

  protected:
    virtual bool AcceptConnect() { return true; }
    virtual bool AcceptAdvise(const std::string& /*item*/) { return true; }
    // The item's current value as CF_TEXT bytes (the caller adds nothing).
    virtual std::string ItemData(const std::string& item) = 0;
    // The clipboard format the item's data is sent in, whatever format the
    // client asked for (a faulty server sends another one).
    virtual UINT DataFormat() { return CF_TEXT; }
    // DDE_FACK, DDE_FBUSY or DDE_FNOTPROCESSED.
    virtual UINT Execute(const std::string& /*data*/) { return DDE_FNOTPROCESSED; }

  private:
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                      HSZ hsz2, HDDEDATA data, ULONG_PTR, ULONG_PTR);
    HDDEDATA Handle(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data);
    void LogConnect(HCONV conversation);
    std::string Name(HSZ handle) const;

    DWORD instance_ = 0;
    HSZ service_ = nullptr;
    HSZ topic_ = nullptr;
    int adviseLoops_ = 0;
    int conversations_ = 0;
    FILE* connectLog_ = nullptr;
};

}  // namespace quillon::tools
