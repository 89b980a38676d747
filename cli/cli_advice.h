#pragma once
// What the user should do about an attempt's result, in a sentence.
#include "engine/result_codes.h"

const char* CliAdvice(UpdateResult result);
