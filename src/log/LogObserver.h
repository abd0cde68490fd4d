// Tavix CallerID: who is told when the activity log stops and starts taking entries.
#pragma once

#include <string>

// Told on the thread that writes the log, from inside WriteLog.
class LogObserver
{
  public:
    virtual ~LogObserver() = default;
    // Entries have started failing; `reason` names the file and the system's reason. Told once
    // per outage, not again for the entries that keep failing.
    virtual void logUnwritable(const std::string& reason) = 0;
    // The first entry after an outage was written.
    virtual void logWritableAgain() = 0;
};
