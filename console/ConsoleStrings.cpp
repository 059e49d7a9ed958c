#include "ConsoleStrings.h"

#include <array>

namespace {

constexpr int kFirstId = IDS_ABOUTBOX;

// Identifiers 100 to 123, in order.
constexpr std::array<std::string_view, 24> kStrings = {
    "Halvard のﾊﾞｰｼﾞｮﾝ情報(&A)...",
    "MACアドレス",
    "本ツールを使用するには、管理者権限が必要です。",
    "ポート番号が入力されていません!!",
    "ポート番号の設定に失敗しました!!",
    "選択された登録を削除しますか？",
    "選択された登録を削除しました。",
    "削除に失敗しました!!",
    "対象が選択されていません!!",
    "登録に失敗しました!!",
    "選択されたロックキーを登録しました。",
    "選択されたロックキーに対応するCorvaneは登録されています。\n上書きしますか？",
    "ロックキーが破損しています!!",
    "指定されたポート番号は既に他のソフトウェアにより利用されています!!",
    "指定されたポート番号は不正です!!",
    "許可する",
    "許可しない",
    "パスワードの設定に失敗しました!!",
    "キーのコピーに失敗しました!!",
    "Key Serverに接続できません。",
    "キーのコピーが完了しました。",
    "パスワードが入力されていません!!",
    "入力されたパスワードと確認用パスワードが一致しません!!",
    "キーストアは別のマシン識別子で作成されたため、キーを読み出せません!!\n"
    "corvane-admin import で暗号化されたエクスポートを取り込むか、元の /etc/machine-id に戻してください。",
};

} // namespace

std::string_view LoadConsoleString(int id)
{
    if (id < kFirstId || id >= kFirstId + static_cast<int>(kStrings.size())) {
        return {};
    }
    return kStrings[static_cast<size_t>(id - kFirstId)];
}
