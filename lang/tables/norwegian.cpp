// Norwegian (Bokmål) texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Installer nå"},
    {1,  L"Tilpass"},
    {2,  L"Godta"},
    {3,  L"lisensavtalen"},
    {4,  L"Opprett en snarvei på skrivebordet"},
    {5,  L"Opprett en snarvei på Start-menyen"},
    {6,  L"Kjør automatisk ved oppstart av systemet"},
    {7,  L"Delta i"},
    {8,  L"programmet for forbedring av brukeropplevelsen"},
    {9,  L"Start __PRODUCT_NAME__"},
    {10, L"Er du sikker på at du vil avslutte installasjonen av __PRODUCT_NAME__?"},
    {11, L"OK"},
    {12, L"Avbryt"},
    {13, L"Installasjonen kan ikke fortsette fordi __PRODUCT_NAME__ allerede kjører. Lukk programmet og prøv på nytt, eller tving det til å avslutte."},
    {14, L"Prøv på nytt"},
    {15, L"Tving avslutning"},
    {16, L"Opprett et ikon for Hurtigstart"},
    {17, L"Velg en mappe fra listen nedenfor, og klikk deretter OK."},
    {18, L"Nyheter"},
    {19, L"Ja"},
    {20, L"Nei"},
    {21, L"Installerer..."},
    {22, L"Er du sikker på at du vil avinstallere?"},
    {23, L"Avinstaller"},
    {24, L"Behold mine personlige innstillinger."},
    {25, L"Avinstallerer..."},
    {26, L"Avinstalleringen er fullført! Takk for støtten!"},
    {27, L"Fullfør"},
    {28, L"Windows XP støttes ikke lenger."},
    {29, L"Windows Vista støttes ikke lenger."},
    {30, L"Installasjonsbanen er ugyldig."},
    {31, L"Det er ikke nok ledig plass på den valgte stasjonen."},
    {32, L"Beklager! Denne versjonen av __PRODUCT_NAME__ fungerer bare på 64-biters operativsystemer. Last ned og installer den 32-biters versjonen."},
    {33, L"__PRODUCT_NAME__ fungerer foreløpig bare på 64-biters Windows."},
    {34, L"Avinstaller"},
    {35, L"Avinstaller programmet"},
    {36, L"Program"},
    {37, L"Online"},
    {38, L"Hjemmeside"},
    {39, L"Du må starte datamaskinen på nytt for å installere den nye versjonen. Er du sikker på at du vil fortsette?"},
    {40, L"Start på nytt nå"},
    {41, L"Nedlastingen mislyktes. Prøv på nytt, eller last ned offline-installasjonsprogrammet fra __WEB_HOST__."},
    {42, L"Online-installasjonsprogrammet er utdatert. Last ned den nyeste versjonen fra __WEB_HOST__."},
    {43, L"Laster ned..."},
    {44, L"Kontrollerer data, vent litt..."},
    {45, L"Henter nedlastingsinformasjon..."},
    {46, L"__PRODUCT_NAME__ Online"},
    {47, L"Avinstaller __PRODUCT_NAME__"},
    {48, L"Start"},
    {49, L"Installasjonen starter automatisk om XXX sekunder."},
    {50, L"Laster ned installasjonsfilen..."},
    {51, L"offisiell"},
};
// clang-format on
}  // namespace

const LangTable kNorwegianTable = {kStrings, std::size(kStrings)};
