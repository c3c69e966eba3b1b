#pragma once

// libobs reports every unreadable JSON text; the targets that read JSON
// through it include this once to silence it, so that the fuzzer runs at full
// speed.
#include <util/base.h>

#include <cstdarg>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	base_set_log_handler([](int, const char *, va_list, void *) {}, nullptr);
	return 0;
}
