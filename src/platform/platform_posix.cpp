// The platform layer on POSIX.
#include "platform/platform.h"

#include "platform/system.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kestrun {

namespace {

std::string system_error(const char* what)
{
	return std::string(what) + ": " + std::strerror(errno);
}

// Owns one file descriptor.
class Descriptor {
public:
	explicit Descriptor(int fd) : fd_(fd) {}
	Descriptor(const Descriptor&) = delete;
	Descriptor& operator=(const Descriptor&) = delete;
	~Descriptor()
	{
		if (fd_ >= 0)
			::close(fd_);
	}
	int get() const { return fd_; }
	// Closes now, so that a failed close can be reported.
	bool close()
	{
		int fd = fd_;
		fd_ = -1;
		return ::close(fd) == 0;
	}

private:
	int fd_;
};

// The temporary files being written now, for the signal handler to remove:
// a fixed table of slots, so that the handler reads it without locks or
// allocation while several workers write.
constexpr std::size_t temporary_slots = 256;
std::array<std::atomic<const char*>, temporary_slots> temporaries{};

void remove_temporaries_and_exit(int signal_number)
{
	for (std::atomic<const char*>& slot : temporaries)
		if (const char* path = slot.load())
			::unlink(path);
	::_exit(128 + signal_number);
}

// Owns a temporary file name until it is renamed into place; listed for the
// signal handler meanwhile (when a slot is free: past 256 files at once
// the rest go unlisted).
class TemporaryFile {
public:
	explicit TemporaryFile(std::string path) : path_(std::move(path))
	{
		for (std::atomic<const char*>& slot : temporaries) {
			const char* empty = nullptr;
			if (slot.compare_exchange_strong(empty, path_.c_str())) {
				slot_ = &slot;
				break;
			}
		}
	}
	TemporaryFile(const TemporaryFile&) = delete;
	TemporaryFile& operator=(const TemporaryFile&) = delete;
	~TemporaryFile()
	{
		unlist();
		if (!path_.empty())
			::unlink(path_.c_str());
	}
	void release()
	{
		unlist();
		path_.clear();
	}

private:
	void unlist()
	{
		if (slot_ != nullptr)
			slot_->store(nullptr);
		slot_ = nullptr;
	}

	std::string path_;
	std::atomic<const char*>* slot_ = nullptr;
};

mode_t file_mode()
{
	// umask can only be read by setting it; put it straight back.
	mode_t mask = ::umask(0);
	::umask(mask);
	return 0666 & ~mask;
}

bool write_all(int fd, bytes data)
{
	std::size_t done = 0;
	while (done < data.size()) {
		ssize_t n = ::write(fd, data.data() + done, data.size() - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0) {
			if (n == 0)
				errno = ENOSPC;
			return false;
		}
		done += std::size_t(n);
	}
	return true;
}

} // namespace

namespace platform_system {

std::optional<std::size_t> read_some(std::intptr_t handle, std::uint8_t* data, std::size_t size, std::string& error)
{
	for (;;) {
		const ssize_t n = ::read(int(handle), data, size);
		if (n >= 0)
			return std::size_t(n);
		if (errno != EINTR) {
			error = system_error("cannot read");
			return std::nullopt;
		}
	}
}

void report_file_size_limit_as_error()
{
	std::signal(SIGXFSZ, SIG_IGN);
}

void remove_temporary_files_on_interrupt()
{
	struct sigaction action {};
	action.sa_handler = remove_temporaries_and_exit;
	sigemptyset(&action.sa_mask);
	for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
		::sigaction(signal_number, &action, nullptr);
}

void keep_freed_buffers_for_reuse()
{
#if defined(__GLIBC__)
	// Every file takes buffers of a few megabytes and gives them back. By
	// default glibc maps each from the system afresh and unmaps it on
	// release, so every file pays again for faulting its pages in; keeping
	// them in the heap lets the next file reuse them.
	mallopt(M_MMAP_THRESHOLD, 32 << 20);
	mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

} // namespace platform_system

std::optional<std::string> current_directory()
{
	std::vector<char> buffer(256);
	while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
		if (errno != ERANGE)
			return std::nullopt;
		buffer.resize(buffer.size() * 2);
	}
	return std::string(buffer.data());
}

std::string join_path(const std::string& folder, const std::string& name)
{
	if (folder.empty())
		return name;
	if (folder.back() == '/')
		return folder + name;
	return folder + '/' + name;
}

bool make_directory(const std::string& path, std::string& error)
{
	if (::mkdir(path.c_str(), 0777) == 0)
		return true;
	const int saved = errno;
	struct stat st;
	if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
		return true;
	errno = saved;
	error = system_error("cannot create directory");
	return false;
}

std::vector<std::string> find_files(const std::string& folder, std::string_view pattern)
{
	std::vector<std::string> names;
	const std::string listed = folder.empty() ? "." : folder;
	const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(listed.c_str()), ::closedir);
	if (!dir)
		return names;
	while (const dirent* entry = ::readdir(dir.get())) {
		std::string_view name = entry->d_name;
		if (name == "." || name == ".." || !wildcard_match(pattern, name))
			continue;
		struct stat st;
		if (::stat(join_path(folder, entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
			names.emplace_back(name);
	}
	sort_names(names);
	return names;
}

InputFile::~InputFile()
{
	if (handle_ >= 0)
		::close(int(handle_));
}

bool open_input(const std::string& path, InputFile& file, std::string& error)
{
	const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0) {
		error = system_error("cannot open");
		return false;
	}
	file.handle_ = fd;
	struct stat st;
	if (::fstat(fd, &st) != 0) {
		error = system_error("cannot determine size");
		return false;
	}
	if (!S_ISREG(st.st_mode)) {
		error = "not a regular file";
		return false;
	}
	if (!platform_system::input_size_allowed(std::uint64_t(st.st_size), error))
		return false;
	file.size_ = std::uint64_t(st.st_size);
	return true;
}

bool write_file_atomically(const std::string& folder, const std::string& name, bytes data, std::string& error)
{
	std::string pattern = join_path(folder, ".kestrun-XXXXXX");
	std::vector<char> path(pattern.begin(), pattern.end());
	path.push_back('\0');
	Descriptor fd(::mkstemp(path.data()));
	if (fd.get() < 0) {
		error = system_error("cannot create a file in the output folder");
		return false;
	}
	TemporaryFile temporary(path.data());
	if (::fchmod(fd.get(), file_mode()) != 0 || !write_all(fd.get(), data)) {
		error = system_error("cannot write output");
		return false;
	}
	if (!fd.close()) {
		error = system_error("cannot write output");
		return false;
	}
	const std::string target = join_path(folder, name);
	if (::rename(path.data(), target.c_str()) != 0) {
		error = system_error(("cannot replace " + target).c_str());
		return false;
	}
	temporary.release();
	return true;
}

} // namespace kestrun
