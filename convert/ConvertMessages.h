#pragma once
// What the converter dialogs show. The operations of this folder never show
// anything themselves: they return the messages, in order, and the dialogs
// (or quorlin-cli) present them.

#include <string>
#include <vector>

namespace quorlin {

// String table entries of the converters.
inline constexpr const char* kCaptionError = "Error";                                  // 42806
inline constexpr const char* kCaptionPrompt = "Prompt";                                // 42819
inline constexpr const char* kTextConvertFinished = "File converting finished!";      // 42824
inline constexpr const char* kTextFileTypeError = "File type error!";                  // 42825
inline constexpr const char* kTextSameFileType = "The file type of source file can't the same!";  // 42826
inline constexpr const char* kTextCannotCreateTarget = "Can't generate the target file!";        // 42827
inline constexpr const char* kNameUserPicture = "USERPIC";                             // 42805
inline constexpr const char* kNameChineseFont = "HZK16";                               // 42802
// The download's refusal of a file that fails its check.
inline constexpr const char* kTextNotUpdateFile =
    "This file is not a file for system update or is damaged!";

enum class MessageIcon { Error, Exclamation };

struct DialogMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;

    bool operator==(const DialogMessage&) const = default;
};

struct ConversionOutcome {
    std::vector<DialogMessage> messages;
    // True when "File converting finished!" was shown.
    bool finished = false;

    void Error(std::string text) { messages.push_back({std::move(text), kCaptionError, MessageIcon::Error}); }
    // The batch shows a file error with the same text as caption.
    void FileErrorBox(const std::string& text) { messages.push_back({text, text, MessageIcon::Error}); }
    void Finished() {
        messages.push_back({kTextConvertFinished, kCaptionPrompt, MessageIcon::Exclamation});
        finished = true;
    }
};

}  // namespace quorlin
