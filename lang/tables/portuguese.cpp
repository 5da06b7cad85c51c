// Portuguese (Brazilian usage) texts, one line per string id in the order of the English table
// (english.cpp). "__PRODUCT_NAME__" becomes the product title and "XXX"
// (id 49) the seconds left; "__WEB_HOST__" the vendor's web host.
#include <iterator>

#include "lang/lang_tables.h"

namespace {
// clang-format off
const LangString kStrings[] = {
    {0,  L"Instalar agora"},
    {1,  L"Personalizar"},
    {2,  L"Aceito o"},
    {3,  L"Contrato de Licença do Usuário"},
    {4,  L"Criar um atalho na área de trabalho"},
    {5,  L"Criar um atalho no menu Iniciar"},
    {6,  L"Executar automaticamente ao iniciar o sistema"},
    {7,  L"Aderir ao"},
    {8,  L"Programa de Aperfeiçoamento da Experiência do Usuário"},
    {9,  L"Iniciar __PRODUCT_NAME__"},
    {10, L"Tem certeza de que deseja sair da instalação do __PRODUCT_NAME__?"},
    {11, L"OK"},
    {12, L"Cancelar"},
    {13, L"Não é possível continuar a instalação porque o __PRODUCT_NAME__ já está em execução. Feche-o para tentar novamente ou force o encerramento."},
    {14, L"Tentar de novo"},
    {15, L"Forçar encerramento"},
    {16, L"Criar um ícone de Inicialização Rápida"},
    {17, L"Selecione uma pasta na lista abaixo e clique em OK."},
    {18, L"Novidades"},
    {19, L"Sim"},
    {20, L"Não"},
    {21, L"Instalando..."},
    {22, L"Tem certeza de que deseja desinstalar?"},
    {23, L"Desinstalar"},
    {24, L"Manter minhas configurações pessoais."},
    {25, L"Desinstalando..."},
    {26, L"Desinstalação concluída! Obrigado pelo seu apoio!"},
    {27, L"Concluir"},
    {28, L"O Windows XP não é mais suportado."},
    {29, L"O Windows Vista não é mais suportado."},
    {30, L"O caminho de instalação é inválido."},
    {31, L"Não há espaço livre suficiente na unidade selecionada."},
    {32, L"Ops! Esta versão do __PRODUCT_NAME__ só funciona em sistemas operacionais de 64 bits. Baixe e instale a versão de 32 bits."},
    {33, L"No momento, o __PRODUCT_NAME__ só funciona no Windows de 64 bits."},
    {34, L"Desinstalar"},
    {35, L"Desinstalar aplicativo"},
    {36, L"Aplicativo"},
    {37, L"Online"},
    {38, L"Página inicial"},
    {39, L"É necessário reiniciar o computador para instalar a nova versão. Deseja continuar?"},
    {40, L"Reiniciar agora"},
    {41, L"Falha no download. Tente novamente ou baixe o instalador offline em __WEB_HOST__."},
    {42, L"O instalador online está desatualizado. Baixe a versão mais recente em __WEB_HOST__."},
    {43, L"Baixando..."},
    {44, L"Verificando os dados, aguarde..."},
    {45, L"Obtendo informações do download..."},
    {46, L"__PRODUCT_NAME__ Online"},
    {47, L"Desinstalar o __PRODUCT_NAME__"},
    {48, L"Iniciar"},
    {49, L"A instalação começará automaticamente em XXX segundos."},
    {50, L"Baixando o arquivo de instalação..."},
    {51, L"oficial"},
};
// clang-format on
}  // namespace

const LangTable kPortugueseTable = {kStrings, std::size(kStrings)};
