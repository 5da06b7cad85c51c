// Swedish texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Installera nu"},
    {1,  L"Anpassa"},
    {2,  L"Godkänn"},
    {3,  L"licensavtalet"},
    {4,  L"Skapa en genväg på skrivbordet"},
    {5,  L"Skapa en genväg på Start-menyn"},
    {6,  L"Starta automatiskt vid systemstart"},
    {7,  L"Delta i"},
    {8,  L"programmet för förbättrad användarupplevelse"},
    {9,  L"Starta __PRODUCT_NAME__"},
    {10, L"Vill du avbryta installationen av __PRODUCT_NAME__?"},
    {11, L"OK"},
    {12, L"Avbryt"},
    {13, L"Installationen kan inte fortsätta eftersom __PRODUCT_NAME__ redan körs. Stäng programmet och försök igen, eller tvinga det att stängas."},
    {14, L"Försök igen"},
    {15, L"Tvinga stängning"},
    {16, L"Skapa en ikon i Snabbstart"},
    {17, L"Välj en mapp i listan nedan och klicka sedan på OK."},
    {18, L"Nyheter"},
    {19, L"Ja"},
    {20, L"Nej"},
    {21, L"Installerar..."},
    {22, L"Vill du avinstallera programmet?"},
    {23, L"Avinstallera"},
    {24, L"Behåll mina personliga inställningar."},
    {25, L"Avinstallerar..."},
    {26, L"Avinstallationen är klar! Tack för ditt stöd!"},
    {27, L"Slutför"},
    {28, L"Windows XP stöds inte längre."},
    {29, L"Windows Vista stöds inte längre."},
    {30, L"Installationssökvägen är ogiltig."},
    {31, L"Det finns inte tillräckligt med ledigt utrymme på den valda enheten."},
    {32, L"Hoppsan! Den här versionen av __PRODUCT_NAME__ fungerar bara på 64-bitars operativsystem. Hämta och installera 32-bitarsversionen."},
    {33, L"__PRODUCT_NAME__ fungerar för närvarande bara på 64-bitars Windows."},
    {34, L"Avinstallera"},
    {35, L"Avinstallera programmet"},
    {36, L"Program"},
    {37, L"Online"},
    {38, L"Webbplats"},
    {39, L"Du måste starta om datorn för att installera den nya versionen. Vill du fortsätta?"},
    {40, L"Starta om nu"},
    {41, L"Hämtningen misslyckades. Försök igen eller hämta offlineinstallationsprogrammet från __WEB_HOST__."},
    {42, L"Onlineinstallationsprogrammet är inaktuellt. Hämta den senaste versionen från __WEB_HOST__."},
    {43, L"Hämtar..."},
    {44, L"Kontrollerar data, vänta..."},
    {45, L"Samlar in hämtningsinformation..."},
    {46, L"__PRODUCT_NAME__ Online"},
    {47, L"Avinstallera __PRODUCT_NAME__"},
    {48, L"Starta"},
    {49, L"Installationen startar automatiskt om XXX sekunder."},
    {50, L"Hämtar installationsfilen..."},
    {51, L"officiell"},
};
// clang-format on
}  // namespace

const LangTable kSwedishTable = {kStrings, std::size(kStrings)};
