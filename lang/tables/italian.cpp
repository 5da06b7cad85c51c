// Italian texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Installa ora"},
    {1,  L"Personalizza"},
    {2,  L"Accetto il"},
    {3,  L"Contratto di licenza con l'utente finale"},
    {4,  L"Crea un collegamento sul desktop"},
    {5,  L"Crea un collegamento nel menu Start"},
    {6,  L"Esegui automaticamente all'avvio del sistema"},
    {7,  L"Partecipa al"},
    {8,  L"Programma per il miglioramento dell'esperienza utente"},
    {9,  L"Avvia __PRODUCT_NAME__"},
    {10, L"Uscire dall'installazione di __PRODUCT_NAME__?"},
    {11, L"OK"},
    {12, L"Annulla"},
    {13, L"Impossibile proseguire con l'installazione perché __PRODUCT_NAME__ è già in esecuzione. Chiudere il programma e riprovare oppure forzarne la chiusura."},
    {14, L"Riprova"},
    {15, L"Forza chiusura"},
    {16, L"Crea un'icona di Avvio veloce"},
    {17, L"Selezionare una cartella dall'elenco seguente, quindi fare clic su OK."},
    {18, L"Novità"},
    {19, L"Sì"},
    {20, L"No"},
    {21, L"Installazione in corso..."},
    {22, L"Disinstallare il programma?"},
    {23, L"Disinstalla"},
    {24, L"Mantieni le mie impostazioni personali."},
    {25, L"Disinstallazione in corso..."},
    {26, L"Disinstallazione completata. Grazie per il supporto!"},
    {27, L"Fine"},
    {28, L"Windows XP non è più supportato."},
    {29, L"Windows Vista non è più supportato."},
    {30, L"Il percorso di installazione non è valido."},
    {31, L"Spazio libero insufficiente nell'unità selezionata."},
    {32, L"Spiacenti! Questa versione di __PRODUCT_NAME__ funziona solo con sistemi operativi a 64 bit. Scaricare e installare la versione a 32 bit."},
    {33, L"Al momento __PRODUCT_NAME__ funziona solo con Windows a 64 bit."},
    {34, L"Disinstalla"},
    {35, L"Disinstalla applicazione"},
    {36, L"Applicazione"},
    {37, L"Online"},
    {38, L"Home page"},
    {39, L"Per installare la nuova versione è necessario riavviare il computer. Continuare?"},
    {40, L"Riavvia ora"},
    {41, L"Download non riuscito. Riprovare oppure scaricare il programma di installazione offline da __WEB_HOST__."},
    {42, L"Il programma di installazione online non è aggiornato. Scaricare la versione più recente da __WEB_HOST__."},
    {43, L"Download in corso..."},
    {44, L"Verifica dei dati in corso, attendere..."},
    {45, L"Raccolta delle informazioni di download..."},
    {46, L"__PRODUCT_NAME__ Online"},
    {47, L"Disinstalla __PRODUCT_NAME__"},
    {48, L"Avvia"},
    {49, L"L'installazione verrà avviata automaticamente tra XXX secondi."},
    {50, L"Download del file di installazione..."},
    {51, L"ufficiale"},
};
// clang-format on
}  // namespace

const LangTable kItalianTable = {kStrings, std::size(kStrings)};
