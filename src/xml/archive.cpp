#include "xml/archive.hpp"

#include <algorithm>
#include <memory>

#include <zip.h>

namespace vorlen::xml {

namespace {

std::string error_text(zip_error_t* error) { return zip_error_strerror(error); }

struct FileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

}  // namespace

void Archive::Close::operator()(zip* archive) const { zip_discard(archive); }

Result<Archive> Archive::open(Bytes data) {
  zip_error_t error;
  zip_error_init(&error);
  // freep = 0: libzip reads the caller's bytes in place and never frees them.
  zip_source_t* source = zip_source_buffer_create(data.data(), data.size(), 0, &error);
  if (source == nullptr) {
    std::string text = error_text(&error);
    zip_error_fini(&error);
    return Error::zip(std::move(text));
  }
  zip_t* handle = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (handle == nullptr) {
    zip_source_free(source);
    std::string text = error_text(&error);
    zip_error_fini(&error);
    return Error::zip(std::move(text));
  }
  zip_error_fini(&error);
  Archive archive(handle);
  zip_int64_t count = zip_get_num_entries(handle, 0);
  archive.names_.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(handle, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name == nullptr) return Error::zip(zip_strerror(handle));
    archive.names_.emplace_back(name);
  }
  return archive;
}

Result<Buffer> Archive::member(std::string_view name) {
  zip_t* handle = archive_.get();
  std::string wanted(name);
  // A name with a NUL cannot be stored in an archive, and libzip would see it cut short.
  if (wanted.find('\0') != std::string::npos)
    return Error::file_not_found_in_archive(std::move(wanted));
  zip_int64_t index = zip_name_locate(handle, wanted.c_str(), ZIP_FL_ENC_RAW);
  if (index < 0) {
    if (zip_error_code_zip(zip_get_error(handle)) == ZIP_ER_NOENT) {
      return Error::file_not_found_in_archive(std::move(wanted));
    }
    return Error::zip(zip_strerror(handle));
  }
  std::unique_ptr<zip_file_t, FileCloser> file(
      zip_fopen_index(handle, static_cast<zip_uint64_t>(index), 0));
  if (!file) return Error::zip(zip_strerror(handle));

  // The buffer grows with what actually inflates, never from the size the entry declares, and
  // reading stops one byte past the limit.
  constexpr std::uint64_t cap = member_size_limit + 1;
  Buffer content;
  std::size_t filled = 0;
  for (;;) {
    if (filled == content.size()) {
      if (content.size() == cap) break;
      content.resize(
          std::min<std::uint64_t>(cap, std::max<std::size_t>(65536, content.size() * 2)));
    }
    zip_int64_t got = zip_fread(file.get(), content.data() + filled, content.size() - filled);
    if (got < 0) return Error::io(zip_file_strerror(file.get()));
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > member_size_limit) return Error::parse("archive pattern member exceeds 256 MiB");
  content.resize(filled);
  return content;
}

}  // namespace vorlen::xml
