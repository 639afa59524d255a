#pragma once
// The texts a transfer writes to the log and shows in message boxes.

namespace quorlin::texts {

constexpr const char* kBeginSendFile = "Begin to send file\r\n";
constexpr const char* kBeginSendCurrent = "Begin to send current opened file\r\n";
// The line after the begin line of a send that resumes a program part-way.
constexpr const char* kSendFromBlock = "Sending from block %s, line %ld of the program\r\n";
constexpr const char* kSendFromLine = "Sending from line %ld of the program\r\n";
constexpr const char* kBeginReceive = "Begin to receive file\r\n";
constexpr const char* kSendCompleted = "File sending completed\r\n";
constexpr const char* kReceiveCompleted = "File receiving completed\r\n";
constexpr const char* kSendCancelled = "File sending cancelled\r\n";
constexpr const char* kReceiveCancelled = "File receiving cancelled\r\n";
// Ends that the line and the disk can force on a transfer.
constexpr const char* kPortLost = "Transfer stopped: the serial port was lost\r\n";
constexpr const char* kReceiveWriteFailed = "File receiving stopped: the file could not be written\r\n";
constexpr const char* kSendReadFailed = "File sending stopped: the file could not be read\r\n";
constexpr const char* kWriteRefused = "Transfer stopped: the serial port did not take the data\r\n";
constexpr const char* kSendStoppedByController = "File sending stopped by the controller (DC3)\r\n";
constexpr const char* kDownloadRejected = "File sending failed: the controller's check did not match\r\n";
// The line after a transfer's end line: what it carried, how long it took.
// %s the file's name; %llu bytes; then the time in seconds and the rate.
constexpr const char* kSummaryFile = "%s: ";
constexpr const char* kSummaryDocument = "the open document: ";
constexpr const char* kSummarySent = "%llu bytes sent";
constexpr const char* kSummaryReceived = "%llu bytes received";
constexpr const char* kSummaryOfFile = " (%llu of %llu bytes of the file)";
constexpr const char* kSummaryBlocks = ", %llu blocks";
constexpr const char* kSummaryVerdict = ", verdict %d";
constexpr const char* kSummaryNoVerdict = ", no verdict asked";
constexpr const char* kSummaryKeptAs = ", kept as %s";
constexpr const char* kSummaryTime = " in %.1f s (%llu bytes/s)\r\n";

constexpr const char* kCaptionError = "Error";
constexpr const char* kCaptionPrompt = "Prompt";
constexpr const char* kCanNotOpenPort = "Can not open COM%d !";
constexpr const char* kCanNotOpenFile = "Can't open the file!";
constexpr const char* kNotUpdateFile = "This file is not a file for system update or is damaged!";
constexpr const char* kPortLostMessage =
    "The serial port COM%d is no longer available! The transfer was stopped.";
constexpr const char* kReceiveWriteFailedMessage =
    "Can't write the received file! What was received before the failure is kept in it.";
constexpr const char* kSendReadFailedMessage = "Can't read the file! The transfer was stopped.";
constexpr const char* kSendStoppedMessage =
    "The controller stopped the send with DC3 after %d bytes! The program did not arrive whole.";
constexpr const char* kDownloadRejectedMessage =
    "The controller's check of the download did not match (verdict 0)! The software did not arrive intact.";
constexpr const char* kWriteRefusedMessage =
    "The serial port COM%d did not take the data to send! The transfer was stopped; "
    "the controller may not have received everything.";

}  // namespace quorlin::texts
