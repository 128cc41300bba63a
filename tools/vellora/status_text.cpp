#include "status_text.h"

#include "cli_error.h"
#include "vellora.h"

namespace cli {

std::string status_meaning(int32_t status) {
  switch (status) {
    case VELLORA_OK:
      return "success";
    case ERR_NULL_HANDLE:
      return "the bitmap handle is 0";
    case ERR_NOT_BITMAP:
      return "the handle does not name a Bitmap";
    case ERR_NO_BITMAP_RECORD:
      return "the Bitmap has no bitmap record";
    case ERR_NO_INFO_HEADER:
      return "the bitmap record has no info header";
    case ERR_BAD_INFO_HEADER:
      return "the info header is not a BITMAPINFOHEADER";
    case ERR_BAD_PIXEL_BUFFER:
      return "the pixel buffer cannot be used";
    case ERR_OUT_OF_MEMORY:
      return "the process is out of memory or file descriptors; nothing was changed";
    case ERR_BAD_SIZE:
      return "the new width or height is not usable";
    case ERR_NULL_BUFFER:
      return "the buffer is null";
    case ERR_SIZE_MISMATCH:
      return "the buffer length differs from width x height x 4";
    case PNG_SAVE_FAILED:
      return "the PNG file could not be opened or written";
    default:
      if (status <= ERR_NULL_HANDLE - ERR_SECOND_BITMAP_OFFSET &&
          status >= ERR_BAD_PIXEL_BUFFER - ERR_SECOND_BITMAP_OFFSET) {
        return "second bitmap: " + status_meaning(status + ERR_SECOND_BITMAP_OFFSET);
      }
      return "unknown status";
  }
}

void check_status(const char* export_name, int32_t status) {
  if (status != VELLORA_OK) {
    throw CliError(std::string(export_name) + " returned " + std::to_string(status) + " (" +
                   status_meaning(status) + ")");
  }
}

}  // namespace cli
