#include "transfer/HostPace.h"

#include "transfer/TransferEngine.h"

namespace quorlin {

MessagePump::Pace PaceOf(const TransferEngine& engine) {
    // Echo answers (or awaits) every character.
    if (engine.ProtocolNow() == Protocol::Echo) return MessagePump::Pace::Answer;
    // A Block or Xon receive only stores what comes; the controller waits
    // for nothing from this side until the end, which a person gives.
    if (engine.TransferKindNow() == TransferKind::ReceiveFile) return MessagePump::Pace::Stream;
    return MessagePump::Pace::Prompt;
}

}  // namespace quorlin
