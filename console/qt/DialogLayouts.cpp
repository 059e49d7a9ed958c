#include "console/qt/DialogLayouts.h"

#include <array>
#include <stdexcept>

namespace {

using K = EControlKind;

constexpr SControlLayout kAboutControls[] = {
    {kNoControlId, K::Icon, "128", 10, 10, 18, 21, kStyleNone},
    {kNoControlId, K::Static, "Corvane Key Server管理ツール Ver. 1.20", 40, 10, 145, 8, kStyleNone},
    {kNoControlId, K::Static, "Linux 版 (Qt 6)", 45, 30, 145, 8, kStyleNone},
    {1, K::Button, "OK", 190, 5, 50, 14, kStyleDefaultButton},
};

constexpr SControlLayout kMainControls[] = {
    {kNoControlId, K::Bitmap, "131", 20, 5, 218, 35, kStyleSunken},
    {kNoControlId, K::GroupBox, "登録情報", 5, 50, 245, 146, kStyleNone},
    {1001, K::ListView, "", 15, 66, 180, 70, kStyleMultiSelect},
    {1002, K::Button, "登録", 205, 65, 40, 14, kStyleNone},
    {1008, K::Button, "コピー", 205, 89, 41, 14, kStyleNone},
    {1003, K::Button, "削除", 205, 149, 40, 14, kStyleNone},
    {kNoControlId, K::Static,
     "キーの登録を行う場合は[登録]ボタンを押してください。\n"
     "他のKey Serverにキーをコピーする場合はリストから対象を選択して[コピー]ボタンを押してください。\n"
     "登録したキーを削除する場合はリストから対象を選択して\n"
     "[削除]ボタンを押してください。",
     20, 144, 175, 47, kStyleNone},
    {kNoControlId, K::GroupBox, "ポート番号設定", 5, 200, 245, 52, kStyleNone},
    {kNoControlId, K::Static, "現在の設定:", 15, 213, 40, 8, kStyleNone},
    {1004, K::Edit, "", 55, 211, 80, 12, kStyleReadOnly},
    {1005, K::Button, "変更", 205, 210, 40, 14, kStyleNone},
    {kNoControlId, K::Static, "Key Serverが利用するポート番号を変更する場合は[変更]ボタンを押してください。", 20, 230,
     175, 15, kStyleNone},
    {kNoControlId, K::GroupBox, "連携許可設定", 5, 258, 247, 53, kStyleNone},
    {kNoControlId, K::Static, "現在の設定:", 15, 271, 38, 8, kStyleNone},
    {1006, K::Edit, "", 55, 269, 80, 12, kStyleReadOnly},
    {1007, K::Button, "変更", 205, 267, 41, 14, kStyleNone},
    {kNoControlId, K::Static, "他のKey Serverや対応製品との連携許可設定を変更する場合、[変更]ボタンを押してください。",
     20, 286, 175, 15, kStyleNone},
    {1, K::Button, "OK", 130, 315, 50, 14, kStyleDefaultButton | kStyleHiddenDisabled},
    {2, K::Button, "閉じる", 200, 315, 50, 14, kStyleNone},
};

constexpr SControlLayout kRegisterControls[] = {
    {kNoControlId, K::Icon, "129", 5, 5, 20, 20, kStyleNone},
    {1005, K::ComboBox, "", 30, 10, 95, 75, kStyleDropDown},
    {kNoControlId, K::Static, "登録するロックキーを選択し、[登録]ボタンを押してください。", 10, 35, 115, 20,
     kStyleNone},
    {1, K::Button, "登録", 130, 7, 50, 14, kStyleDefaultButton},
    {2, K::Button, "ｷｬﾝｾﾙ", 130, 35, 50, 14, kStyleNone},
};

constexpr SControlLayout kPortControls[] = {
    {kNoControlId, K::Static, "新しいポート番号:", 10, 18, 55, 8, kStyleNone},
    {1006, K::Edit, "", 65, 15, 80, 12, kStyleNone},
    {kNoControlId, K::Static,
     "Key Serverが利用するポート番号(1-65535)を入力し、[設定]ボタンを押してください。\n(初期値:51056)", 10, 35, 140, 30,
     kStyleNone},
    {1, K::Button, "設定", 155, 5, 50, 14, kStyleDefaultButton},
    {2, K::Button, "ｷｬﾝｾﾙ", 155, 38, 50, 14, kStyleNone},
};

constexpr SControlLayout kCooperationControls[] = {
    {1010, K::RadioButton, "連携を許可する", 9, 5, 62, 10, kStyleGroupStart},
    {kNoControlId, K::Static, "パスワード:", 17, 21, 37, 8, kStyleNone},
    {1009, K::Edit, "", 79, 19, 98, 12, kStylePassword},
    {kNoControlId, K::Static, "パスワード(確認用):", 17, 44, 58, 8, kStyleNone},
    {1012, K::Edit, "", 79, 41, 98, 12, kStylePassword},
    {1011, K::RadioButton, "連携を許可しない", 9, 63, 67, 10, kStyleNone},
    {kNoControlId, K::Static,
     "連携を許可する場合は、[連携を許可する]を選択し、1文字以上20文字以下のパスワードを入力して、[設定]"
     "ボタンを押してください。",
     11, 84, 171, 29, kStyleNone},
    {1, K::Button, "設定", 184, 7, 50, 14, kStyleDefaultButton},
    {2, K::Button, "ｷｬﾝｾﾙ", 184, 41, 50, 14, kStyleNone},
};

constexpr SControlLayout kCopyControls[] = {
    {kNoControlId, K::Static, "Key Server:", 10, 16, 37, 8, kStyleNone},
    {1010, K::Edit, "", 50, 14, 98, 12, kStyleNone},
    {kNoControlId, K::Static, "ポート番号:", 10, 37, 37, 8, kStyleNone},
    {1006, K::Edit, "", 50, 33, 98, 12, kStyleDigitsOnly},
    {kNoControlId, K::Static, "パスワード:", 10, 55, 37, 8, kStyleNone},
    {1009, K::Edit, "", 50, 52, 98, 12, kStylePassword},
    {kNoControlId, K::Static,
     "キーをコピーするKey Serverのホスト名かIPアドレス、ポート番号とそのKey Serverで設定されたパスワードを入力し、"
     "[実行]ボタンを押してください。",
     10, 75, 158, 40, kStyleNone},
    {1, K::Button, "実行", 160, 14, 50, 14, kStyleDefaultButton},
    {2, K::Button, "ｷｬﾝｾﾙ", 160, 48, 50, 14, kStyleNone},
};

constexpr std::array kDialogs = {
    SDialogLayout{DialogResource::kAbout, "Halvardのﾊﾞｰｼﾞｮﾝ情報", 243, 49, kAboutControls},
    SDialogLayout{DialogResource::kMain, "Key Server管理ツール", 259, 336, kMainControls},
    SDialogLayout{DialogResource::kRegister, "キー登録", 187, 59, kRegisterControls},
    SDialogLayout{DialogResource::kPort, "ポート番号入力", 210, 75, kPortControls},
    SDialogLayout{DialogResource::kCooperation, "連携許可設定", 239, 115, kCooperationControls},
    SDialogLayout{DialogResource::kCopy, "キーのコピー", 217, 122, kCopyControls},
};

} // namespace

const SDialogLayout& FindDialogLayout(int resourceId)
{
    for (const SDialogLayout& layout : kDialogs) {
        if (layout.id == resourceId)
            return layout;
    }
    throw std::out_of_range("no dialog template " + std::to_string(resourceId));
}
