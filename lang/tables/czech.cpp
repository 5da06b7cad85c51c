// Czech texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Nainstalovat"},
    {1,  L"Vlastní"},
    {2,  L"Přijímám"},
    {3,  L"licenční smlouvu s koncovým uživatelem"},
    {4,  L"Vytvořit zástupce na ploše"},
    {5,  L"Vytvořit zástupce v nabídce Start"},
    {6,  L"Spouštět automaticky při startu systému"},
    {7,  L"Účast v"},
    {8,  L"programu zlepšování uživatelských zkušeností"},
    {9,  L"Spustit __PRODUCT_NAME__"},
    {10, L"Opravdu chcete ukončit instalaci aplikace __PRODUCT_NAME__?"},
    {11, L"OK"},
    {12, L"Storno"},
    {13, L"V instalaci nelze pokračovat, protože aplikace __PRODUCT_NAME__ je spuštěná. Zavřete ji a zkuste to znovu, nebo vynuťte její ukončení."},
    {14, L"Zkusit znovu"},
    {15, L"Vynutit ukončení"},
    {16, L"Vytvořit ikonu na panelu Snadné spuštění"},
    {17, L"Vyberte složku ze seznamu níže a potom klikněte na tlačítko OK."},
    {18, L"Co je nového"},
    {19, L"Ano"},
    {20, L"Ne"},
    {21, L"Probíhá instalace..."},
    {22, L"Opravdu chcete provést odinstalaci?"},
    {23, L"Odinstalovat"},
    {24, L"Zachovat moje osobní nastavení."},
    {25, L"Probíhá odinstalace..."},
    {26, L"Odinstalace byla dokončena. Děkujeme za vaši podporu!"},
    {27, L"Dokončit"},
    {28, L"Systém Windows XP již není podporován."},
    {29, L"Systém Windows Vista již není podporován."},
    {30, L"Instalační cesta je neplatná."},
    {31, L"Na vybrané jednotce není dostatek volného místa."},
    {32, L"Jejda! Tato verze aplikace __PRODUCT_NAME__ funguje pouze v 64bitovém operačním systému. Stáhněte si a nainstalujte 32bitovou verzi."},
    {33, L"Aplikace __PRODUCT_NAME__ v současnosti funguje pouze v 64bitovém systému Windows."},
    {34, L"Odinstalovat"},
    {35, L"Odinstalovat aplikaci"},
    {36, L"Aplikace"},
    {37, L"Online"},
    {38, L"Domovská stránka"},
    {39, L"Pro instalaci nové verze je nutné restartovat počítač. Opravdu chcete pokračovat?"},
    {40, L"Restartovat nyní"},
    {41, L"Stahování se nezdařilo. Zkuste to znovu nebo si stáhněte offline instalátor z webu __WEB_HOST__."},
    {42, L"Online instalátor je zastaralý. Stáhněte si nejnovější verzi z webu __WEB_HOST__."},
    {43, L"Probíhá stahování..."},
    {44, L"Probíhá kontrola dat, čekejte prosím..."},
    {45, L"Zjišťování informací o stahování..."},
    {46, L"__PRODUCT_NAME__ Online"},
    {47, L"Odinstalovat __PRODUCT_NAME__"},
    {48, L"Spustit"},
    {49, L"Instalace se automaticky spustí za XXX s."},
    {50, L"Stahování instalačního souboru..."},
    {51, L"oficiální"},
};
// clang-format on
}  // namespace

const LangTable kCzechTable = {kStrings, std::size(kStrings)};
