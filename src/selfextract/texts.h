// The texts the self-decrypting engine shows: the reading of the payload
// header, the create and separate commands, and the file names they propose.
#pragma once

#include <cstdint>
#include <string>

namespace vesk::selfextract::text {

// The extension of the self-decrypting files the create command makes: a
// program for Linux, which desktops must not take for a Windows one.
inline constexpr char kSelfDecryptingExt[] = ".run";
// The program part the separate command writes beside the container.
inline constexpr char kProgramPartName[] = "Vesk 文件加密.run";
// The name the commands use for a payload whose stored name is empty.
inline constexpr char kUnnamedPayload[] = "未命名.jmz";

// The status text that describes a carried payload.
inline std::string PayloadStatus(const std::string& payload_name, int64_t payload_size) {
  return "自解密文件：" + payload_name + "  大小：" + std::to_string(payload_size) + "字节。";
}

// Warnings about a damaged payload header; the commands stay usable.
inline constexpr const char* kPayloadNameEmpty = "自解密里的加密文件名称(出错)是空的！";
inline std::string PayloadSizeDamaged(int64_t stored_size) {
  return "自解密里的加密文件的大小(" + std::to_string(stored_size) + "字节)数据被破坏或者出错！";
}
inline std::string PayloadSizeMismatch(int64_t stored_size, int64_t present) {
  return "自解密里的加密文件的大小(" + std::to_string(stored_size) + "字节)数据与效验数据(" + std::to_string(present) +
         ")不相同！";
}

// The end of the create command.
inline std::string CreateFailed(const std::string& target) { return "创建自解密文件“" + target + "”出错!已停止。"; }
inline std::string CreateDone(const std::string& target) { return "创建自解密文件已完成。（" + target + "）"; }

// The end of the separate command.
inline constexpr const char* kSeparateFailed = "分离自解密文件 ... 出错!已停止。";
inline constexpr const char* kSeparateDone = "分离自解密文件 ... 已完成。";

}  // namespace vesk::selfextract::text
