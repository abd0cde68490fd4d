// Tavix CallerID: one call as the calls list keeps it.
#pragma once

#include "notify/CallNotifier.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>

struct CallRecord
{
    using Id = qint64;
    enum class Progress { Ringing, Answered, Missed, Ended };

    // The history's row id; 0 before the call is stored.
    Id id = 0;
    // Local date and time the call began (its caller ID, or its first ring without one).
    QDateTime time;
    // 1 to 4, as people count lines.
    int line = 0;
    // Latin-1 as the box gave them, without the NUL fill; both empty: no caller ID.
    QString number;
    QString name;
    Progress progress = Progress::Ringing;
    // The talk duration the box reported, in seconds; -1 until it does.
    int talkSeconds = -1;
    // The web application's outcome. NotSent with a detail for a call that had nothing to send.
    CallDelivery::State delivery = CallDelivery::State::Pending;
    // Sent: the reply's first line; otherwise why, in words. Never the URL or the password.
    QString deliveryDetail;
    // False for a missed call the user has not seen yet.
    bool seen = true;

    bool hasCallerId() const { return !number.isEmpty() || !name.isEmpty(); }
    // Send again is offered for it: it has a number and the web application did not get it.
    bool canSendAgain() const;
};
