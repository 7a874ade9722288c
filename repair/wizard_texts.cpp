#include "repair/wizard_texts.h"

#include "basekit/strings/format.h"
#include "repair/commands.h"
#include "repair/display_text.h"
#include "repair/repair_procedure.h"
#include "repair/text_encoding.h"

namespace repair {

namespace {

// The box's error text comes from the network: its printable ASCII only.
std::wstring Ascii(const std::string& text) {
  std::wstring wide;
  for (char c : text) {
    if (c >= 0x20 && c < 0x7F) wide += static_cast<wchar_t>(c);
  }
  return DisplayText(wide);
}

// What the journal recorded is shown as cleaned text: a name or value made
// by someone else must not reorder the sentence around it.
std::wstring Recorded(const std::string& value) { return DisplayText(GbkToWide(value)); }

std::wstring ManualRestoreText(const RepairFailure& manual) {
  if (manual.cause == RepairCause::kFirewallRuleNotDeleted) {
    // The rule's name starts the sentence: on the page's narrow column it
    // then stays on one line.
    return std::wstring(L"规则名为“") + kFirewallRuleName +
           L"”。请重新打开本程序，它会再次删除；也可以在Windows防火墙的入站规则中手动删除。";
  }
  const std::wstring shown = DisplayText(manual.connection_name);
  const std::wstring name = shown.empty() ? L"有线网卡" : L"“" + shown + L"”";
  if (manual.settings.dhcp) {
    return L"请在“网络连接”中打开" + name + L"的IPv4属性，改回“自动获得IP地址”。";
  }
  std::wstring text = L"请把" + name + L"的IPv4地址改回" + Recorded(manual.settings.address) + L"，子网掩码" +
                      Recorded(manual.settings.mask);
  const std::string& gateway = manual.settings.gateway;
  if (!gateway.empty() && gateway != "0.0.0.0") text += L"，网关" + Recorded(gateway);
  return text + L"。";
}

}  // namespace

std::wstring RunningHeading() { return L"正在修复..."; }

std::wstring FailureHeading(RepairCause cause) {
  return cause == RepairCause::kLastBlockUnconfirmed ? L"修复结果未确认" : L"修复失败";
}

std::wstring StageText(RepairStage stage, int32_t attempt) {
  switch (stage) {
    case RepairStage::kPreparing:
      return L"正在准备…";
    case RepairStage::kWaitingForCable:
      return L"没有检测到网线，插好后会自动继续。";
    case RepairStage::kSettingAddress:
      return L"正在设置网卡地址…";
    case RepairStage::kConnecting:
      if (attempt <= 1) return L"正在连接DEzed…";
      return basekit::FormatString(L"正在连接DEzed（第%d次尝试）…", static_cast<int>(attempt));
    case RepairStage::kTransferring:
      return L"正在传输固件…";
    case RepairStage::kRestoring:
      return L"正在恢复网络设置…";
  }
  return std::wstring();
}

std::wstring CleanUpText() { return L"修复未成功，正在恢复网络设置…"; }

std::wstring CauseText(const RepairFailure& failure) {
  switch (failure.cause) {
    case RepairCause::kNone:
    case RepairCause::kCancelled:
      return std::wstring();
    case RepairCause::kNoWiredAdapter:
      return L"没有找到有线网卡，电脑的设置没有改动。";
    case RepairCause::kNoAdapterChosen:
      return L"没有选择与DEzed相连的网卡。";
    case RepairCause::kJournalNotWritten:
      return L"无法保存修复记录，为安全起见修复没有进行，电脑的设置保持原样。";
    case RepairCause::kFirewallRuleNotAdded:
      return L"无法添加防火墙规则。";
    case RepairCause::kRecoveryAddressNotSet:
      return L"无法为网卡设置修复地址192.168.1.111。";
    case RepairCause::kBoxNotAnswering:
      return L"DEzed没有响应。";
    case RepairCause::kConnectionLost:
      return basekit::FormatString(L"传输到%d%%时，与DEzed的连接中断了。", failure.percent());
    case RepairCause::kCableUnplugged:
      return basekit::FormatString(L"传输到%d%%时，网线连接断开了。", failure.percent());
    case RepairCause::kBoxRefused:
      if (Ascii(failure.server_text).empty()) {
        return basekit::FormatString(L"DEzed拒绝接收固件（错误%u）。", static_cast<unsigned>(failure.server_code));
      }
      return L"DEzed拒绝接收固件：" + Ascii(failure.server_text);
    case RepairCause::kLastBlockUnconfirmed:
      return L"固件已全部发出，但DEzed没有确认收到最后一部分。";
    case RepairCause::kFirmwareMissing:
      return L"程序文件不完整，找不到固件。";
    case RepairCause::kNetworkUnavailable:
      return L"无法启用网络传输。";
    case RepairCause::kRestoreFailed:
      return failure.image_delivered ? L"固件已写入DEzed，但网络设置未能恢复。" : L"电脑的网络设置未能恢复。";
    case RepairCause::kFirewallRuleNotDeleted:
      return failure.image_delivered ? L"固件已写入DEzed，但防火墙规则未能删除。" : L"本程序添加的防火墙规则未能删除。";
  }
  return std::wstring();
}

std::wstring NextStepText(const RepairFailure& failure) {
  switch (failure.cause) {
    case RepairCause::kNone:
    case RepairCause::kCancelled:
      return std::wstring();
    case RepairCause::kNoWiredAdapter:
      return L"请确认有线网卡已启用、网线已插好，然后点击“重试”。";
    case RepairCause::kNoAdapterChosen:
      return L"请点击“重试”，在列表中选择用网线连接DEzed的网卡。";
    case RepairCause::kJournalNotWritten:
      return L"请以管理员身份运行本程序后点击“重试”；仍不行时，请重新启动电脑再试。";
    case RepairCause::kFirewallRuleNotAdded:
      return L"请以管理员身份运行本程序，然后点击“重试”。";
    case RepairCause::kRecoveryAddressNotSet:
      return L"请确认网卡已启用、网线两端已插好，然后点击“重试”。";
    case RepairCause::kBoxNotAnswering:
      return L"请确认DEzed已进入修复模式、网线两端已插好，然后点击“重试”。";
    case RepairCause::kConnectionLost:
      return L"请确认DEzed仍在修复模式且没有断电，然后点击“重试”。";
    case RepairCause::kCableUnplugged:
      return L"请插好网线，然后点击“重试”。";
    case RepairCause::kBoxRefused:
      return L"请重新启动DEzed并进入修复模式，然后点击“重试”。";
    case RepairCause::kLastBlockUnconfirmed:
      return L"DEzed可能已收到完整固件。请不要断电，等它自行重启后再决定是否重试。";
    case RepairCause::kFirmwareMissing:
      return L"请重新下载本程序后再试。";
    case RepairCause::kNetworkUnavailable:
      return L"请重新启动电脑后再试。";
    case RepairCause::kRestoreFailed:
    case RepairCause::kFirewallRuleNotDeleted:
      return ManualRestoreText(failure);
  }
  return std::wstring();
}

std::wstring AmountText(size_t acknowledged, size_t total) {
  if (total == 0) return std::wstring();
  if (acknowledged > total) acknowledged = total;
  const auto percent = static_cast<unsigned>(static_cast<uint64_t>(acknowledged) * 100 / total);
  const auto done = static_cast<unsigned>(acknowledged / 100000);
  const auto all = static_cast<unsigned>(total / 100000);
  return basekit::FormatString(L"%u%%  %u.%u / %u.%u MB", percent, done / 10, done % 10, all / 10, all % 10);
}

std::wstring RecoveringNotice() { return L"正在恢复上次修复改动的网络设置…"; }

std::wstring RestoredNotice() { return L"上次修复没有完成，网络设置已恢复原样。"; }

std::wstring IgnoredNotice() { return L"发现一份不是本程序留下的修复记录，已忽略，没有据此改动电脑的设置。"; }

std::wstring RestoreFailedNotice(const RepairFailure& manual) {
  const std::wstring what = manual.cause == RepairCause::kFirewallRuleNotDeleted ? L"上次修复添加的防火墙规则未能删除。"
                                                                                 : L"上次修复改动的网络设置未能恢复。";
  return what + ManualRestoreText(manual);
}

std::wstring LogRefusedNotice() { return L"程序文件夹中的REPAIR.log是链接或特殊文件，为安全起见，本次不写日志。"; }

std::wstring AlertMessage(RepairCause cause) {
  return cause == RepairCause::kLastBlockUnconfirmed ? L"修复结果未确认" : L"修复失败";
}

}  // namespace repair
