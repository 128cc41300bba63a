#include "image_file.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli_error.h"
#include "status_text.h"
#include "vellora.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace cli {

namespace {

#if defined(_WIN32)
std::wstring wide(const std::string& utf8) {
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring result(units > 0 ? units : 1, L'\0');
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, result.data(), units);
  result.resize(result.size() - 1);
  return result;
}
#endif

std::FILE* open_for_reading(const std::string& path) {
#if defined(_WIN32)
  return _wfopen(wide(path).c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}

void remove_file(const std::string& path) {
#if defined(_WIN32)
  DeleteFileW(wide(path).c_str());
#else
  std::remove(path.c_str());
#endif
}

bool replace_file(const std::string& from, const std::string& to) {
#if defined(_WIN32)
  return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

hostsim::BitmapPtr read_png(const std::string& path) {
  std::FILE* file = open_for_reading(path);
  if (file == nullptr) throw CliError(path + ": cannot open: " + std::strerror(errno));

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&image, file)) {
    const std::string message = path + ": not a readable PNG: " + image.message;
    std::fclose(file);
    throw CliError(message);
  }
  if (image.width > 16384 || image.height > 16384) {
    png_image_free(&image);
    std::fclose(file);
    throw CliError(path + ": image too large (" + std::to_string(image.width) + " x " +
                   std::to_string(image.height) + ", at most 16384 x 16384)");
  }
  // Palette, gray, RGB and 16-bit input all arrive as 8-bit BGRA; a negative
  // row stride asks for the last row first, the host's bottom-up order.
  image.format = PNG_FORMAT_BGRA;
  hostsim::BitmapPtr bitmap =
      hostsim::make_bitmap(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
  const int ok =
      png_image_finish_read(&image, nullptr, hostsim::pixels_of(*bitmap), stride, nullptr);
  const std::string message = ok ? "" : image.message;
  png_image_free(&image);
  std::fclose(file);
  if (!ok) throw CliError(path + ": cannot decode: " + message);
  return bitmap;
}

void write_png(const hostsim::Bitmap& bitmap, const std::string& path,
               const SaveSettings& settings) {
  const std::string partial = path + ".partial";
  const int32_t status =
      PngSaveA(partial.c_str(), hostsim::handle_of(bitmap), settings.level, settings.filters);
  if (status != VELLORA_OK) {
    remove_file(partial);
    throw CliError(path + ": PngSaveA returned " + std::to_string(status) + " (" +
                   status_meaning(status) + ")");
  }
  if (!replace_file(partial, path)) {
    remove_file(partial);
    throw CliError(path + ": cannot replace the file with the new PNG");
  }
}

bool file_exists(const std::string& path) {
#if defined(_WIN32)
  return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat info;
  return stat(path.c_str(), &info) == 0;
#endif
}

void make_directory(const std::string& path) {
#if defined(_WIN32)
  const bool made =
      CreateDirectoryW(wide(path).c_str(), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
#else
  const bool made = mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
#endif
  if (!made) throw CliError(path + ": cannot create the directory");
}

}  // namespace cli
