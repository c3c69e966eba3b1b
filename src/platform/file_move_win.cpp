#include "platform/file_move.h"

#include <windows.h>

#include <string>

namespace vanteo::platform {

namespace {

std::wstring wide(const std::string &utf8)
{
	if (utf8.empty())
		return std::wstring();
	int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
	std::wstring out(static_cast<size_t>(n), L'\0');
	MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
	return out;
}

} // namespace

bool moveReplacing(const std::string &from, const std::string &to)
{
	return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool removeFile(const std::string &path)
{
	return DeleteFileW(wide(path).c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::string nativeSeparators(const std::string &path)
{
	std::string out = path;
	for (char &c : out)
		if (c == '/')
			c = '\\';
	return out;
}

} // namespace vanteo::platform
