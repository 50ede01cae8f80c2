// The platform layer on Windows. Only the wide-character calls are used:
// names stay UTF-8 inside the program and are turned into UTF-16 at each
// call, and absolute paths get the \\?\ prefix, so that neither the code page
// of the machine nor the 260-character path limit stands in the way.
#include "platform/platform.h"

#include "platform/system.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <memory>

namespace kestrun {

namespace {

// UTF-8 to UTF-16; a name that is not valid UTF-8 turns into replacement
// characters and so names no file.
std::wstring wide(const std::string& text)
{
	if (text.empty())
		return {};
	const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
	std::wstring out(std::size_t(length > 0 ? length : 0), L'\0');
	if (length > 0)
		::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), length);
	return out;
}

std::string utf8(const wchar_t* text, std::size_t size)
{
	if (size == 0)
		return {};
	const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, int(size), nullptr, 0, nullptr, nullptr);
	std::string out(std::size_t(length > 0 ? length : 0), '\0');
	if (length > 0)
		::WideCharToMultiByte(CP_UTF8, 0, text, int(size), out.data(), length, nullptr, nullptr);
	return out;
}

std::string utf8(const std::wstring& text)
{
	return utf8(text.data(), text.size());
}

// The path as the wide calls take it: an absolute one with the \\?\ prefix
// (which also turns off the system's rewriting of the path, so separators
// must be backslashes already); a relative one as it is.
std::wstring system_path(const std::string& path)
{
	std::wstring out = wide(path);
	for (wchar_t& c : out)
		if (c == L'/')
			c = L'\\';
	if (out.starts_with(L"\\\\?\\"))
		return out;
	if (out.starts_with(L"\\\\"))
		return L"\\\\?\\UNC\\" + out.substr(2);
	if (out.size() >= 3 && out[1] == L':' && out[2] == L'\\')
		return L"\\\\?\\" + out;
	return out;
}

// The system's description of `code`, in UTF-8, without the full stop and
// line end it comes with.
std::string describe(DWORD code)
{
	wchar_t* text = nullptr;
	const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
	                                          FORMAT_MESSAGE_IGNORE_INSERTS,
	                                      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
	std::string out;
	if (length > 0 && text)
		out = utf8(text, length);
	if (text)
		::LocalFree(text);
	while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
		out.pop_back();
	return out.empty() ? "system error " + std::to_string(code) : out;
}

// `what` is a plain pointer so that building the argument cannot disturb the
// error code read beside it.
std::string system_error(const char* what, DWORD code)
{
	return std::string(what) + ": " + describe(code);
}

// Owns one handle.
class Handle {
public:
	explicit Handle(HANDLE handle) : handle_(handle) {}
	Handle(const Handle&) = delete;
	Handle& operator=(const Handle&) = delete;
	~Handle()
	{
		if (handle_ != INVALID_HANDLE_VALUE)
			::CloseHandle(handle_);
	}
	HANDLE get() const { return handle_; }
	// Closes now, so that a failed close can be reported.
	bool close()
	{
		HANDLE handle = handle_;
		handle_ = INVALID_HANDLE_VALUE;
		return handle == INVALID_HANDLE_VALUE || ::CloseHandle(handle) != 0;
	}

private:
	HANDLE handle_;
};

// Owns a temporary file, open for writing, until it is moved into place.
// Windows deletes no file that is open, so the handle closes first.
class TemporaryFile {
public:
	TemporaryFile(HANDLE handle, std::wstring path) : handle_(handle), path_(std::move(path)) {}
	TemporaryFile(const TemporaryFile&) = delete;
	TemporaryFile& operator=(const TemporaryFile&) = delete;
	~TemporaryFile()
	{
		handle_.close();
		if (!path_.empty())
			::DeleteFileW(path_.c_str());
	}
	Handle& handle() { return handle_; }
	const std::wstring& path() const { return path_; }
	void release() { path_.clear(); }

private:
	Handle handle_;
	std::wstring path_;
};

// Chunks small enough for one ReadFile or WriteFile call.
constexpr std::size_t io_chunk = std::size_t(1) << 30;

bool write_all(HANDLE handle, bytes data)
{
	std::size_t done = 0;
	while (done < data.size()) {
		const DWORD want = DWORD(std::min(data.size() - done, io_chunk));
		DWORD written = 0;
		if (!::WriteFile(handle, data.data() + done, want, &written, nullptr))
			return false;
		if (written == 0) {
			::SetLastError(ERROR_DISK_FULL);
			return false;
		}
		done += written;
	}
	return true;
}

// A file in `folder` that did not exist before, open for writing.
HANDLE create_temporary(const std::wstring& folder, std::wstring& path)
{
	static unsigned counter = 0;
	for (int attempt = 0; attempt < 100; attempt++) {
		const unsigned tag = ::GetCurrentProcessId() * 2654435761u + ::GetTickCount() + counter++;
		path = folder + L"\\.kestrun-" + std::to_wstring(tag);
		HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
		if (handle != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
			return handle;
	}
	return INVALID_HANDLE_VALUE;
}

} // namespace

namespace platform_system {

std::optional<std::size_t> read_some(std::intptr_t handle, std::uint8_t* data, std::size_t size, std::string& error)
{
	DWORD got = 0;
	if (!::ReadFile(reinterpret_cast<HANDLE>(handle), data, DWORD(std::min(size, io_chunk)), &got, nullptr)) {
		error = system_error("cannot read", ::GetLastError());
		return std::nullopt;
	}
	return std::size_t(got);
}

void report_file_size_limit_as_error() {}

// Not yet on Windows: Ctrl+C there ends the process in another thread, and
// the temporary file of a write in progress may stay.
void remove_temporary_files_on_interrupt() {}

void keep_freed_buffers_for_reuse() {}

} // namespace platform_system

std::optional<std::string> current_directory()
{
	std::wstring buffer(MAX_PATH, L'\0');
	for (;;) {
		const DWORD length = ::GetCurrentDirectoryW(DWORD(buffer.size()), buffer.data());
		if (length == 0)
			return std::nullopt;
		if (length < buffer.size()) {
			buffer.resize(length);
			break;
		}
		buffer.resize(length);
	}
	// Shown in messages in the form users know; system_path() puts the
	// prefix back.
	if (buffer.starts_with(L"\\\\?\\UNC\\"))
		buffer = L"\\\\" + buffer.substr(8);
	else if (buffer.starts_with(L"\\\\?\\"))
		buffer = buffer.substr(4);
	return utf8(buffer);
}

std::string join_path(const std::string& folder, const std::string& name)
{
	if (folder.empty())
		return name;
	if (folder.back() == '\\' || folder.back() == '/')
		return folder + name;
	return folder + '\\' + name;
}

bool make_directory(const std::string& path, std::string& error)
{
	const std::wstring target = system_path(path);
	if (::CreateDirectoryW(target.c_str(), nullptr))
		return true;
	const DWORD code = ::GetLastError();
	// "Already exists" is said of a file as well as of a folder, and a
	// folder that exists may still be refused for other reasons (a
	// read-only volume): what stands there decides.
	const DWORD attributes = ::GetFileAttributesW(target.c_str());
	if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
		return true;
	error = system_error("cannot create directory", code);
	return false;
}

std::vector<std::string> find_files(const std::string& folder, std::string_view pattern)
{
	// The system is asked for every name and our matcher decides: the
	// system's own matching also looks at short 8.3 names, so "*.dff" would
	// find x.dffx on some volumes and not on others.
	std::vector<std::string> names;
	const std::wstring everything = folder.empty() ? std::wstring(L"*") : system_path(join_path(folder, "*"));
	WIN32_FIND_DATAW entry;
	HANDLE search = ::FindFirstFileW(everything.c_str(), &entry);
	if (search == INVALID_HANDLE_VALUE)
		return names;
	do {
		if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
			continue;
		std::string name = utf8(entry.cFileName, std::wcslen(entry.cFileName));
		if (wildcard_match(pattern, name))
			names.push_back(std::move(name));
	} while (::FindNextFileW(search, &entry));
	::FindClose(search);
	sort_names(names);
	return names;
}

InputFile::~InputFile()
{
	if (handle_ != -1)
		::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool open_input(const std::string& path, InputFile& file, std::string& error)
{
	HANDLE handle = ::CreateFileW(system_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
	                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
	if (handle == INVALID_HANDLE_VALUE) {
		error = system_error("cannot open", ::GetLastError());
		return false;
	}
	file.handle_ = reinterpret_cast<std::intptr_t>(handle);
	if (::GetFileType(handle) != FILE_TYPE_DISK) {
		error = "not a regular file";
		return false;
	}
	LARGE_INTEGER size;
	if (!::GetFileSizeEx(handle, &size)) {
		error = system_error("cannot determine size", ::GetLastError());
		return false;
	}
	// A negative size, which no file has, turns into a huge one and is refused.
	if (!platform_system::input_size_allowed(std::uint64_t(size.QuadPart), error))
		return false;
	file.size_ = std::uint64_t(size.QuadPart);
	return true;
}

bool write_file_atomically(const std::string& folder, const std::string& name, bytes data, std::string& error)
{
	std::wstring path;
	HANDLE created = create_temporary(system_path(folder.empty() ? "." : folder), path);
	if (created == INVALID_HANDLE_VALUE) {
		error = system_error("cannot create a file in the output folder", ::GetLastError());
		return false;
	}
	TemporaryFile temporary(created, path);
	if (!write_all(temporary.handle().get(), data) || !temporary.handle().close()) {
		error = system_error("cannot write output", ::GetLastError());
		return false;
	}
	const std::string target = join_path(folder, name);
	if (!::MoveFileExW(temporary.path().c_str(), system_path(target).c_str(), MOVEFILE_REPLACE_EXISTING)) {
		const DWORD code = ::GetLastError();
		error = system_error(("cannot replace " + target).c_str(), code);
		return false;
	}
	temporary.release();
	return true;
}

std::vector<std::string> utf8_command_line(int argc, wchar_t** argv)
{
	std::vector<std::string> arguments;
	for (int k = 0; k < argc; k++)
		arguments.push_back(utf8(argv[k], std::wcslen(argv[k])));
	return arguments;
}

int run_with_utf8_console(const std::function<int()>& run)
{
	const UINT console = ::GetConsoleOutputCP();
	::SetConsoleOutputCP(CP_UTF8);
	const int status = run();
	if (console != 0)
		::SetConsoleOutputCP(console);
	return status;
}

} // namespace kestrun
