// Tavix CallerID: what a desktop notification says about a caller ID.
#pragma once

#include "monitor/CallerIdCore.h"

#include <QString>

// The line (counted from 1), the number and the name, then what became of the caller's web
// notification. Never the URL or the password: the delivery's texts hold neither.
struct CallNotice
{
    QString summary;
    QString body;

    // With the delivery as it stood when the caller arrived.
    static CallNotice of(const IncomingCaller& caller);
    // Once it has ended.
    static CallNotice of(const IncomingCaller& caller, const CallDelivery& delivery);

    // The caller as one line of text: number and name, control characters as blanks.
    static QString callerText(const IncomingCaller& caller);
};
