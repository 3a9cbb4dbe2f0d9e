// The texts the self-decrypting engine shows: the reading of the payload
// header, the create and separate commands, and the file names they propose.
#pragma once

#include <cstdint>
#include <string>

#include "platform/language.h"

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
  return Fill(Tr("自解密文件：{1}  大小：{2}字节。"), payload_name, std::to_string(payload_size));
}

// Warnings about a damaged payload header; the commands stay usable.
inline constexpr Tr kPayloadNameEmpty = Tr("自解密里的加密文件名称(出错)是空的！");
inline std::string PayloadSizeDamaged(int64_t stored_size) {
  return Fill(Tr("自解密里的加密文件的大小({1}字节)数据被破坏或者出错！"), std::to_string(stored_size));
}
inline std::string PayloadSizeMismatch(int64_t stored_size, int64_t present) {
  return Fill(Tr("自解密里的加密文件的大小({1}字节)数据与效验数据({2}"
                   ")不相同！"), std::to_string(stored_size), std::to_string(present));
}

// The create command without its program part: the small program is missing
// beside the running program, or is no program image.
inline std::string SfxProgramMissing(const std::string& path) {
  return Fill(Tr("找不到自解密文件的程序部分“{1}”：vesk-sfx 要与本程序安装在同一文件夹里。创建自解密文件已取消。"), path);
}
inline std::string SfxProgramUnreadable(const std::string& path) {
  return Fill(Tr("不能读取自解密文件的程序部分“{1}”。创建自解密文件已取消。"), path);
}

// The end of the create command.
inline constexpr Tr kCreateCancelled = Tr("创建自解密文件已取消。");
inline std::string CreateFailed(const std::string& target) { return Fill(Tr("创建自解密文件“{1}”出错!已停止。"), target); }
inline std::string CreateDone(const std::string& target) { return Fill(Tr("创建自解密文件已完成。（{1}）"), target); }

// The end of the separate command.
inline constexpr Tr kSeparateFailed = Tr("分离自解密文件 ... 出错!已停止。");
inline constexpr Tr kSeparateDone = Tr("分离自解密文件 ... 已完成。");
inline constexpr Tr kSeparateCancelled = Tr("分离自解密文件已取消。");
inline std::string SeparateRunning(const std::string& shown_name) {
  return Fill(Tr("进行分离自解密里的已加密文件：{1} ..."), shown_name);
}

// A file the payload commands cannot read a payload from.
inline std::string FileMissing(const std::string& path) { return Fill(Tr("文件“{1}”不存在!"), path); }
inline std::string NotSelfDecrypting(const std::string& shown) { return Fill(Tr("{1} 不是自解密文件。"), shown); }

// The create command's refusals of its container.
inline constexpr Tr kContainerEmpty = Tr("文件是空的，不需要创建自解密文件!创建自解密文件已取消。");
inline constexpr Tr kContainerTooLarge = Tr("文件大于4GB，不能创建自解密文件!创建自解密文件已取消。");
inline constexpr Tr kContainerNotKeyed = Tr("文件未经此软件加密或者是另外(不保存密钥)加密的，不能创建自解密文件!");
inline std::string ContainerMissing(const std::string& path) {
  return Fill(Tr("要创建自解密的文件“{1}”不存在!创建自解密文件已取消。"), path);
}

// The create command at work.
inline constexpr Tr kCreateRunning = Tr("进行创建自解密文件...");
inline std::string CreateOutputHint(const std::string& target) { return Fill(Tr("创建自解密后的文件：{1}"), target); }
inline std::string CreateSourceHint(const std::string& source) { return Fill(Tr("进行创建自解密的文件：{1}"), source); }
inline std::string SeparateOutputHint(const std::string& target) { return Fill(Tr("分离自解密后的已加密文件：{1}"), target); }
inline std::string SeparateSourceHint(const std::string& shown_name) { return Fill(Tr("进行分离自解密里的已加密文件：{1}"), shown_name); }

// Replacing an existing output: the question, and the refusal when the file
// cannot be replaced (a folder, or one of the files the command reads).
inline constexpr Tr kReplaceCaption = Tr("替换文件");
inline std::string ReplaceQuestion(const std::string& path) { return Fill(Tr("{1} 文件已经存在,是否替换? 否 则取消。"), path); }
inline std::string ReplaceFailed(const std::string& path, const std::string& cancelled) {
  return Fill(Tr("替换删除文件“{1}”失败！文件正在使用中或者有只读属性等。{2}"), path, cancelled);
}

}  // namespace vesk::selfextract::text
