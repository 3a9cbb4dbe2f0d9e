#include "selfextract/layout.h"

#include <stdexcept>

#include "platform/control_characters.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "selfextract/elf_image.h"
#include "selfextract/texts.h"

namespace vesk::selfextract {

std::string EncodePayloadHeader(int64_t payload_size, std::string_view gbk_name) {
  if (gbk_name.empty() || static_cast<int64_t>(gbk_name.size()) > kNameFieldSize) {
    throw std::invalid_argument("payload name must have 1 to 250 bytes");
  }
  std::string header(static_cast<std::size_t>(kHeaderSize), '\0');
  const auto u = static_cast<uint64_t>(payload_size);
  for (int i = 0; i < 8; ++i) header[static_cast<std::size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
  header[8] = static_cast<char>(gbk_name.size());
  header.replace(9, gbk_name.size(), gbk_name);
  return header;
}

std::string PayloadStatusText(const std::string& payload_name, int64_t payload_size) {
  return text::PayloadStatus(EscapeControlCharacters(payload_name), payload_size);
}

SelfDecryptInfo ReadSelfDecryptInfo(Progress& progress, Prompter& prompter, const std::string& program_path,
                                    int64_t image_size) {
  SelfDecryptInfo info;
  if (image_size <= 0) {
    info.Failed = true;
    return info;
  }
  info.ImageSize = image_size;

  InputFile in;
  try {
    in.Open(program_path);
  } catch (...) {
    info.Failed = true;
    return info;
  }
  try {
    info.OwnFileSize = in.Size();
    // Shorter than image + header + the smallest container: the plain
    // program, which says nothing.
    if (info.OwnFileSize < SelfDecryptMinimum(image_size)) return info;

    in.Seek(image_size);
    unsigned char fixed[9];
    in.ReadExact(fixed, sizeof fixed);
    uint64_t stored = 0;
    for (int i = 7; i >= 0; --i) stored = (stored << 8) | fixed[i];
    int64_t payload_size = static_cast<int64_t>(stored);
    int name_length = fixed[8];
    if (name_length == 0 || name_length > kNameFieldSize) name_length = static_cast<int>(kNameFieldSize);

    std::string name(static_cast<std::size_t>(name_length), '\0');
    in.ReadExact(name.data(), name.size());
    name.resize(std::min(name.find('\0'), name.size()));
    info.PayloadName = GbkToUtf8(name);
    if (info.PayloadName.empty()) {
      info.Damaged = true;
      prompter.ReportMessage(text::kPayloadNameEmpty);
    }

    // Both texts show the stored size, even when it is corrected below.
    const int64_t stored_size = payload_size;
    info.StatusHint = PayloadStatusText(info.PayloadName, payload_size);
    progress.ShowStatus(info.StatusHint);

    const int64_t present = info.OwnFileSize - PayloadOffset(image_size);
    if (payload_size < 1 || payload_size > kMaxPayloadSize || payload_size > present) {
      info.Damaged = true;
      prompter.ReportMessage(text::PayloadSizeDamaged(stored_size));
      payload_size = present;
    }
    if (payload_size != present) {
      // Bytes follow the payload; the stored size stays in force.
      info.Damaged = true;
      prompter.ReportMessage(text::PayloadSizeMismatch(stored_size, present));
    }
    info.PayloadSize = payload_size;
    info.CommandsEnabled = true;
  } catch (...) {
    // Half-read values must not enable the commands later on: with the
    // length unknown, SetCommandState keeps SelfDecryptButton and SeparateButton disabled.
    info = SelfDecryptInfo{};
    info.ImageSize = image_size;
    info.Failed = true;
  }
  return info;
}

SelfDecryptInfo ReadRunningSelfDecryptInfo(Progress& progress, Prompter& prompter) {
  int64_t image_size = 0;
  try {
    image_size = RunningImageSize();
  } catch (...) {
    SelfDecryptInfo info;
    info.Failed = true;
    return info;
  }
  return ReadSelfDecryptInfo(progress, prompter, kRunningProgramFile, image_size);
}

}  // namespace vesk::selfextract
