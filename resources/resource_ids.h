// Ids of the resources compiled into the program. Bitmaps and the window icon
// are PNG blobs (type "PNG"); each control state is a bitmap of its own.
#pragma once

// Window icon (big and small).
constexpr int IDI_KORVEL = 107;

// Dialog templates.
constexpr int IDD_SETUP = 130;
constexpr int IDD_MESSAGEBOX = 173;
constexpr int IDD_INFOVIEW = 189;

// Large logos of the install, download and installation views (311 x 311).
constexpr int IDB_INSTALL_LOGO = 132;
constexpr int IDB_LARGE_LOGO_OUTLINE = 133;
constexpr int IDB_FAILED_LOGO = 182;
constexpr int IDB_LARGE_LOGO_COLOUR = 183;
constexpr int IDB_LARGE_LOGO_DONE = 184;
constexpr int IDB_LARGE_LOGO_GREY = 190;

// Full-window background of the finished page (622 x 405).
constexpr int IDB_FINISHED_BACKGROUND = 185;

// Product logos at the top left (206 x 45), 32-bit and 64-bit product.
constexpr int IDB_PRODUCT_LOGO = 138;
constexpr int IDB_PRODUCT_LOGO2 = 139;
constexpr int IDB_PRODUCT_LOGO_X64 = 187;
constexpr int IDB_PRODUCT_LOGO2_X64 = 188;

// Close and minimise buttons of the installer window (17 x 21).
constexpr int IDB_CLOSE_NORMAL = 140;
constexpr int IDB_CLOSE_PRESSED = 142;
constexpr int IDB_CLOSE_HOVER = 143;
constexpr int IDB_MIN_NORMAL = 144;
constexpr int IDB_MIN_PRESSED = 146;
constexpr int IDB_MIN_HOVER = 147;
// Their forms for the finished page, over the finished background.
constexpr int IDB_CLOSE_FINISHED = 148;
constexpr int IDB_MIN_FINISHED = 149;
constexpr int IDB_MIN_FINISHED_PRESSED = 150;
constexpr int IDB_MIN_FINISHED_HOVER = 151;

// Check boxes of the custom panel (14 x 14).
constexpr int IDB_CHECK_OFF = 157;
constexpr int IDB_CHECK_OFF_HOVER = 158;
constexpr int IDB_CHECK_ON = 159;
constexpr int IDB_CHECK_ON_HOVER = 160;

// Custom-panel toggle arrow (14 x 8): closed points down, open points up.
constexpr int IDB_CUSTOM_CLOSED = 165;
constexpr int IDB_CUSTOM_CLOSED_HOVER = 166;
constexpr int IDB_CUSTOM_OPEN = 167;
constexpr int IDB_CUSTOM_OPEN_HOVER = 168;

// Browse button beside the folder box (29 x 26).
constexpr int IDB_BROWSE_PRESSED = 169;
constexpr int IDB_BROWSE_HOVER = 170;
constexpr int IDB_BROWSE_NORMAL = 171;

// Skinned message box: button (100 x 32), icon (30 x 30), close box (17 x 21).
constexpr int IDB_MSGBOX_BUTTON_HOVER = 174;
constexpr int IDB_MSGBOX_ICON = 175;
constexpr int IDB_MSGBOX_BUTTON_NORMAL = 176;
constexpr int IDB_MSGBOX_BUTTON_PRESSED = 177;
constexpr int IDB_MSGBOX_CLOSE_HOVER = 178;
constexpr int IDB_MSGBOX_CLOSE_NORMAL = 179;
constexpr int IDB_MSGBOX_CLOSE_PRESSED = 180;

// Text resources: download configurations ("XML") and release texts ("TXT").
constexpr int IDR_DOWNLOAD_CONFIG_X86 = 501;
constexpr int IDR_DOWNLOAD_CONFIG_X64 = 502;
constexpr int IDR_RELEASE_TEXT_X86 = 503;
constexpr int IDR_RELEASE_TEXT_X64 = 504;
