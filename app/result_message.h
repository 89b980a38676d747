#pragma once
// The text the window shows for the result of an attempt.
#include <cstddef>
#include <cstdint>

#include "engine/result_codes.h"

inline constexpr size_t RESULT_MESSAGE_CAPACITY = 256;

// The language-file key of the message for a result.
const wchar_t* ResultMessageKey(UpdateResult result);
// "text (0X%08X)" into out. A text too long for the capacity is cut so that the code always
// shows whole; a cut never splits a UTF-16 surrogate pair.
void ResultErrorFormat(const wchar_t* text, UpdateResult code, wchar_t* out, size_t capacity);
// The message for a result in a language, read from the language file.
void ResultMessageLoad(UpdateResult result, uint16_t langId, wchar_t* out, size_t capacity);
