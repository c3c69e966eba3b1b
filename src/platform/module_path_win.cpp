#include "platform/module_path.h"

#include <windows.h>

namespace vanteo::platform {

const char kLibraryExtension[] = ".dll";

std::string moduleLibraryPath()
{
	HMODULE self = nullptr;
	if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
				reinterpret_cast<LPCWSTR>(&moduleLibraryPath), &self))
		return std::string();
	wchar_t path[32768];
	DWORD n = GetModuleFileNameW(self, path, 32768);
	if (n == 0 || n >= 32768)
		return std::string();
	int size = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
	std::string out(static_cast<size_t>(size), '\0');
	WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), out.data(), size, nullptr, nullptr);
	return out;
}

} // namespace vanteo::platform
