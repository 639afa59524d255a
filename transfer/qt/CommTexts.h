#pragma once
// The texts of the log view's context menu and of the progress dialogs, as
// their menu and dialog resources have them (the misspelt "Seclect" too:
// operators know the menu by it). The engine's own texts are in
// transfer/TransferTexts.h.

namespace quorlin::texts {

// Menu 135, popup "COMM_VIEW".
constexpr const char* kCommViewMenuTitle = "COMM_VIEW";
constexpr const char* kMenuCopy = "&Copy";
constexpr const char* kMenuSelectAll = "Seclect A&ll\tCtrl+A";
constexpr const char* kMenuClearAll = "Cl&ear All";

// Dialogs 133 and 134.
constexpr const char* kSendingCaption = "Sending";
constexpr const char* kReceivingCaption = "Receiving";
constexpr const char* kBytesLabel = "Bytes:";
constexpr const char* kCancelButton = "Cancel";

// What the sending dialog adds: the line's rate and the time still needed.
constexpr const char* kRateUnknown = "Rate: measuring...";
constexpr const char* kRateFormat = "Rate: %1 bytes/s   Time left: %2";
constexpr const char* kRateOnlyFormat = "Rate: %1 bytes/s";
// What a transfer that does not move waits for, and since when.
constexpr const char* kWaitXoffFormat = "Held by XOFF for %1: waiting for the controller's DC1";
constexpr const char* kWaitDc1Format = "Waiting %1 for the controller's DC1";
constexpr const char* kWaitBlockAnswerFormat = "Waiting %1 for the controller's answer to the block";
constexpr const char* kWaitCharAnswerFormat = "Waiting %1 for the controller's answer";
constexpr const char* kNoDataFormat = "No data for %1";
constexpr const char* kWaitLineFormat = "Waiting %1 for the line to take the data";

// Accessible names of controls that show changing values.
constexpr const char* kLogAccessibleName = "Communication log";
constexpr const char* kPathAccessibleName = "File";
constexpr const char* kProgressAccessibleName = "Progress";

}  // namespace quorlin::texts
