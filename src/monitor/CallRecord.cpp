// Tavix CallerID: one call as the calls list keeps it.
#include "monitor/CallRecord.h"

bool CallRecord::canSendAgain() const
{
    using State = CallDelivery::State;
    return !number.isEmpty() && (delivery == State::Failed || delivery == State::NotSent ||
                                 delivery == State::Abandoned);
}
