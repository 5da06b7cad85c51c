// Hungarian texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Telepítés"},
    {1,  L"Egyéni"},
    {2,  L"Elfogadom a"},
    {3,  L"felhasználói licencszerződést"},
    {4,  L"Parancsikon létrehozása az asztalon"},
    {5,  L"Parancsikon létrehozása a Start menüben"},
    {6,  L"Automatikus indítás a rendszer indulásakor"},
    {7,  L"Csatlakozom a"},
    {8,  L"felhasználói élmény javítását célzó programhoz"},
    {9,  L"__PRODUCT_NAME__ indítása"},
    {10, L"Biztosan kilép a(z) __PRODUCT_NAME__ telepítéséből?"},
    {11, L"OK"},
    {12, L"Mégse"},
    {13, L"A telepítés nem folytatható, mert a(z) __PRODUCT_NAME__ már fut. Zárja be, és próbálja újra, vagy kényszerítse a bezárását."},
    {14, L"Újra"},
    {15, L"Bezárás kényszerítése"},
    {16, L"Ikon létrehozása a Gyorsindítás eszköztáron"},
    {17, L"Válasszon egy mappát az alábbi listából, majd kattintson az OK gombra."},
    {18, L"Újdonságok"},
    {19, L"Igen"},
    {20, L"Nem"},
    {21, L"Telepítés..."},
    {22, L"Biztosan eltávolítja a programot?"},
    {23, L"Eltávolítás"},
    {24, L"Személyes beállításaim megtartása."},
    {25, L"Eltávolítás folyamatban..."},
    {26, L"Az eltávolítás befejeződött. Köszönjük a támogatását!"},
    {27, L"Befejezés"},
    {28, L"A Windows XP már nem támogatott."},
    {29, L"A Windows Vista már nem támogatott."},
    {30, L"A telepítési útvonal érvénytelen."},
    {31, L"Nincs elég szabad hely a kiválasztott meghajtón."},
    {32, L"Hoppá! A(z) __PRODUCT_NAME__ ezen verziója csak 64 bites operációs rendszeren működik. Töltse le és telepítse a 32 bites verziót."},
    {33, L"A(z) __PRODUCT_NAME__ jelenleg csak 64 bites Windows rendszeren működik."},
    {34, L"Eltávolítás"},
    {35, L"Alkalmazás eltávolítása"},
    {36, L"Alkalmazás"},
    {37, L"Online"},
    {38, L"Kezdőlap"},
    {39, L"Az új verzió telepítéséhez újra kell indítani a számítógépet. Biztosan folytatja?"},
    {40, L"Újraindítás most"},
    {41, L"A letöltés sikertelen. Próbálja újra, vagy töltse le az offline telepítőt a következő helyről: __WEB_HOST__."},
    {42, L"Az online telepítő elavult. Töltse le a legújabb verziót a következő helyről: __WEB_HOST__."},
    {43, L"Letöltés..."},
    {44, L"Adatok ellenőrzése, kis türelmet..."},
    {45, L"Letöltési információk összegyűjtése..."},
    {46, L"__PRODUCT_NAME__ Online"},
    {47, L"__PRODUCT_NAME__ eltávolítása"},
    {48, L"Indítás"},
    {49, L"A telepítés XXX másodperc múlva automatikusan elindul."},
    {50, L"A telepítőfájl letöltése..."},
    {51, L"hivatalos"},
};
// clang-format on
}  // namespace

const LangTable kHungarianTable = {kStrings, std::size(kStrings)};
