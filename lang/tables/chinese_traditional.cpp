// Chinese (Traditional) texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"立即安裝"},
    {1,  L"自訂"},
    {2,  L"同意"},
    {3,  L"使用者授權合約"},
    {4,  L"建立桌面捷徑"},
    {5,  L"建立開始功能表捷徑"},
    {6,  L"開機時自動執行"},
    {7,  L"加入"},
    {8,  L"使用者經驗改進計畫"},
    {9,  L"啟動 __PRODUCT_NAME__"},
    {10, L"確定要結束 __PRODUCT_NAME__ 安裝嗎？"},
    {11, L"確定"},
    {12, L"取消"},
    {13, L"__PRODUCT_NAME__ 正在執行，無法繼續安裝。請關閉後重試，或強制關閉。"},
    {14, L"重試"},
    {15, L"強制關閉"},
    {16, L"建立快速啟動圖示"},
    {17, L"請從下面的清單中選取一個資料夾，然後按一下「確定」。"},
    {18, L"新功能"},
    {19, L"是"},
    {20, L"否"},
    {21, L"正在安裝..."},
    {22, L"確定要解除安裝嗎？"},
    {23, L"解除安裝"},
    {24, L"保留我的個人設定。"},
    {25, L"正在解除安裝..."},
    {26, L"解除安裝完成！感謝您的支持！"},
    {27, L"完成"},
    {28, L"已不再支援 Windows XP。"},
    {29, L"已不再支援 Windows Vista。"},
    {30, L"安裝路徑無效。"},
    {31, L"所選磁碟機上沒有足夠的可用空間。"},
    {32, L"抱歉！此版本的 __PRODUCT_NAME__ 僅適用於 64 位元作業系統。請下載並安裝 32 位元版本。"},
    {33, L"__PRODUCT_NAME__ 目前僅支援 64 位元 Windows 作業系統。"},
    {34, L"解除安裝"},
    {35, L"解除安裝應用程式"},
    {36, L"應用程式"},
    {37, L"線上"},
    {38, L"首頁"},
    {39, L"必須重新啟動電腦才能安裝新版本。確定要繼續嗎？"},
    {40, L"立即重新啟動"},
    {41, L"下載失敗，請重試或從 __WEB_HOST__ 下載離線安裝程式。"},
    {42, L"線上安裝程式已過期，請從 __WEB_HOST__ 下載最新版本。"},
    {43, L"正在下載..."},
    {44, L"正在驗證資料，請稍候..."},
    {45, L"正在取得下載資訊..."},
    {46, L"__PRODUCT_NAME__ 線上"},
    {47, L"解除安裝 __PRODUCT_NAME__"},
    {48, L"啟動"},
    {49, L"安裝將在 XXX 秒後自動開始。"},
    {50, L"正在下載安裝檔案..."},
    {51, L"正式版"},
};
// clang-format on
}  // namespace

const LangTable kChineseTraditionalTable = {kStrings, std::size(kStrings)};
