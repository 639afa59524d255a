#pragma once
// How soon the host of an engine must hand it the port's messages during
// the transfer that runs now (see MessagePump::Pace): the one rule both
// hosts follow.

#include "transfer/MessagePump.h"

namespace quorlin {

class TransferEngine;

MessagePump::Pace PaceOf(const TransferEngine& engine);

}  // namespace quorlin
