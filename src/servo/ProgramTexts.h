#pragma once
// The programming page's messages and their captions, shared with servoctl.

namespace msg {
inline constexpr const char* kParamError = "参数错误";
inline constexpr const char* kNotBelow = "%s不能小于%d";
inline constexpr const char* kNotAbove = "%s不能大于%d";

inline constexpr const char* kSaveCaption = "参数保存";
inline constexpr const char* kSaved = "舵参数保存成功";
inline constexpr const char* kSaveFailed = "舵参数保存失败";
inline constexpr const char* kSetCaption = "参数设置";
inline constexpr const char* kSetFailed = "舵参数设置失败";

inline constexpr const char* kRiskCaption = "风险操作";
inline constexpr const char* kRiskQuestion = "继续操作会产生损环舵机风险是否继续住下操作?";
inline constexpr const char* kRiskDone = "操作成功如舵机产生异常请联系售后";
inline constexpr const char* kRiskFailed = "操作失败";

inline constexpr const char* kFileFilter = "Servo Files (*.dat)";
inline constexpr const char* kFileSuffix = "dat";
inline constexpr const char* kCannotSaveFile = "无法保存参数文件";
inline constexpr const char* kCannotOpenFile = "无法打开参数文件";
inline constexpr const char* kLoadCaption = "参数载入";
inline constexpr const char* kLoaded = "参数载入成功";
inline constexpr const char* kLoadFailed = "参数载入失败";

inline constexpr const char* kRestoreCaption = "参数恢复";
inline constexpr const char* kRestored = "参数恢复成功";
inline constexpr const char* kRestoreFailed = "参数恢复失败";

inline constexpr const char* kAngleCaption = "角度重置";
inline constexpr const char* kAngleReset = "角度重置成功，圈数清除，角度恢复单圈角度!";
inline constexpr const char* kAngleFailed = "角度重置失败!";
}  // namespace msg
