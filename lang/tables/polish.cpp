// Polish texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Zainstaluj"},
    {1,  L"Dostosuj"},
    {2,  L"Akceptuję"},
    {3,  L"umowę licencyjną użytkownika"},
    {4,  L"Utwórz skrót na pulpicie"},
    {5,  L"Utwórz skrót w menu Start"},
    {6,  L"Uruchamiaj automatycznie przy starcie systemu"},
    {7,  L"Udział w"},
    {8,  L"Programie poprawy jakości obsługi klienta"},
    {9,  L"Uruchom __PRODUCT_NAME__"},
    {10, L"Czy na pewno chcesz przerwać instalację programu __PRODUCT_NAME__?"},
    {11, L"OK"},
    {12, L"Anuluj"},
    {13, L"Nie można kontynuować instalacji, ponieważ program __PRODUCT_NAME__ jest już uruchomiony. Zamknij go i spróbuj ponownie albo wymuś zamknięcie."},
    {14, L"Ponów próbę"},
    {15, L"Wymuś zamknięcie"},
    {16, L"Utwórz ikonę szybkiego uruchamiania"},
    {17, L"Wybierz folder z poniższej listy, a następnie kliknij przycisk OK."},
    {18, L"Co nowego"},
    {19, L"Tak"},
    {20, L"Nie"},
    {21, L"Instalowanie..."},
    {22, L"Czy na pewno chcesz odinstalować program?"},
    {23, L"Odinstaluj"},
    {24, L"Zachowaj moje ustawienia osobiste."},
    {25, L"Odinstalowywanie..."},
    {26, L"Odinstalowywanie zakończone! Dziękujemy za wsparcie!"},
    {27, L"Zakończ"},
    {28, L"System Windows XP nie jest już obsługiwany."},
    {29, L"System Windows Vista nie jest już obsługiwany."},
    {30, L"Ścieżka instalacji jest nieprawidłowa."},
    {31, L"Na wybranym dysku brakuje wolnego miejsca."},
    {32, L"Ups! Ta wersja programu __PRODUCT_NAME__ działa tylko w 64-bitowym systemie operacyjnym. Pobierz i zainstaluj wersję 32-bitową."},
    {33, L"Program __PRODUCT_NAME__ działa obecnie tylko w 64-bitowym systemie Windows."},
    {34, L"Odinstaluj"},
    {35, L"Odinstaluj aplikację"},
    {36, L"Aplikacja"},
    {37, L"Online"},
    {38, L"Strona główna"},
    {39, L"Aby zainstalować nową wersję, musisz ponownie uruchomić komputer. Czy na pewno chcesz kontynuować?"},
    {40, L"Uruchom ponownie teraz"},
    {41, L"Pobieranie nie powiodło się. Spróbuj ponownie lub pobierz instalator offline ze strony __WEB_HOST__."},
    {42, L"Instalator online jest nieaktualny. Pobierz najnowszą wersję ze strony __WEB_HOST__."},
    {43, L"Pobieranie..."},
    {44, L"Sprawdzanie danych, proszę czekać..."},
    {45, L"Zbieranie informacji o pobieraniu..."},
    {46, L"__PRODUCT_NAME__ Online"},
    {47, L"Odinstaluj __PRODUCT_NAME__"},
    {48, L"Uruchom"},
    {49, L"Instalacja rozpocznie się automatycznie za XXX s."},
    {50, L"Pobieranie pliku instalacyjnego..."},
    {51, L"oficjalna"},
};
// clang-format on
}  // namespace

const LangTable kPolishTable = {kStrings, std::size(kStrings)};
