// Dutch texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Nu installeren"},
    {1,  L"Aangepast"},
    {2,  L"Ik accepteer"},
    {3,  L"de gebruiksrechtovereenkomst"},
    {4,  L"Snelkoppeling op het bureaublad maken"},
    {5,  L"Snelkoppeling in het menu Start maken"},
    {6,  L"Automatisch uitvoeren bij het opstarten van het systeem"},
    {7,  L"Meedoen aan"},
    {8,  L"het programma voor verbetering van de gebruikservaring"},
    {9,  L"__PRODUCT_NAME__ starten"},
    {10, L"Weet u zeker dat u de installatie van __PRODUCT_NAME__ wilt afsluiten?"},
    {11, L"OK"},
    {12, L"Annuleren"},
    {13, L"De installatie kan niet worden voortgezet omdat __PRODUCT_NAME__ al wordt uitgevoerd. Sluit het programma en probeer het opnieuw, of forceer het afsluiten."},
    {14, L"Opnieuw"},
    {15, L"Geforceerd afsluiten"},
    {16, L"Pictogram voor Snel starten maken"},
    {17, L"Selecteer een map in de onderstaande lijst en klik vervolgens op OK."},
    {18, L"Nieuw in deze versie"},
    {19, L"Ja"},
    {20, L"Nee"},
    {21, L"Bezig met installeren..."},
    {22, L"Weet u zeker dat u het programma wilt verwijderen?"},
    {23, L"Verwijderen"},
    {24, L"Mijn persoonlijke instellingen behouden."},
    {25, L"Bezig met verwijderen..."},
    {26, L"Het verwijderen is voltooid. Bedankt voor uw steun!"},
    {27, L"Voltooien"},
    {28, L"Windows XP wordt niet meer ondersteund."},
    {29, L"Windows Vista wordt niet meer ondersteund."},
    {30, L"Het installatiepad is ongeldig."},
    {31, L"Er is onvoldoende vrije ruimte op het geselecteerde station."},
    {32, L"Oeps! Deze versie van __PRODUCT_NAME__ werkt alleen op een 64-bits besturingssysteem. Download en installeer de 32-bits versie."},
    {33, L"__PRODUCT_NAME__ werkt momenteel alleen op 64-bits Windows."},
    {34, L"Verwijderen"},
    {35, L"Toepassing verwijderen"},
    {36, L"Toepassing"},
    {37, L"Online"},
    {38, L"Startpagina"},
    {39, L"U moet de computer opnieuw opstarten om de nieuwe versie te installeren. Weet u zeker dat u wilt doorgaan?"},
    {40, L"Nu opnieuw opstarten"},
    {41, L"Downloaden mislukt. Probeer het opnieuw of download het offline installatieprogramma van __WEB_HOST__."},
    {42, L"Het online installatieprogramma is verouderd. Download de nieuwste versie van __WEB_HOST__."},
    {43, L"Bezig met downloaden..."},
    {44, L"Gegevens controleren, even geduld..."},
    {45, L"Downloadgegevens verzamelen..."},
    {46, L"__PRODUCT_NAME__ Online"},
    {47, L"__PRODUCT_NAME__ verwijderen"},
    {48, L"Starten"},
    {49, L"De installatie begint automatisch over XXX seconden."},
    {50, L"Installatiebestand downloaden..."},
    {51, L"officieel"},
};
// clang-format on
}  // namespace

const LangTable kDutchTable = {kStrings, std::size(kStrings)};
