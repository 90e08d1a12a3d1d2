// The table of clients and their tokens: how a request's Authorization line is matched, and
// what a token file may hold.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "access_control.h"

namespace {

TEST(AccessControl, TokensAreMatchedExactlyUnderABearerSchemeInAnyCase) {
    const auto single = appserver::ClientTable::FromToken("s3cret");
    ASSERT_NE(single.Authenticate("Bearer s3cret"), nullptr);
    EXPECT_EQ(single.Authenticate("Bearer s3cret")->name, "padrao");
    EXPECT_NE(single.Authenticate("bearer s3cret"), nullptr);
    EXPECT_NE(single.Authenticate("BEARER s3cret"), nullptr);
    for (const char* wrong :
         {"Bearer s3cre", "Bearer s3cret ", "Bearer S3cret", "s3cret", "Basic s3cret", "", "Bearer", "Bearers3cret"}) {
        EXPECT_EQ(single.Authenticate(wrong), nullptr) << wrong;
    }
    EXPECT_FALSE(appserver::ClientTable().RequiresToken());
}

TEST(AccessControl, TokenFilesNameTheirClientsAndRightsAndMayEndLinesInCrLf) {
    const auto bare = appserver::ClientTable::FromText("s3cret\r\n");
    EXPECT_NE(bare.Authenticate("Bearer s3cret"), nullptr);  // the CR is no part of the token
    const auto named = appserver::ClientTable::FromText(
        "# clientes\r\ncaixa1 token-caixa\r\n\nauditoria token-auditoria leitura\r\nfiscal token-fiscal escrita\n");
    ASSERT_EQ(named.Size(), 3u);
    const auto* auditor = named.Authenticate("Bearer token-auditoria");
    ASSERT_NE(auditor, nullptr);
    EXPECT_EQ(auditor->name, "auditoria");
    EXPECT_EQ(auditor->role, appserver::ClientRole::Reader);
    EXPECT_EQ(named.Authenticate("Bearer token-caixa")->role, appserver::ClientRole::Writer);
    EXPECT_EQ(named.Authenticate("Bearer token-fiscal")->name, "fiscal");
    for (const char* bad : {"", "# nada\n", "a b c d\n", "a b dono\n", "a t1\na t2\n", "t1\nnome t2\n"}) {
        EXPECT_THROW(appserver::ClientTable::FromText(bad), std::runtime_error) << bad;
    }
    // A client's name keeps the one rule of names (it lands in the history as NMCLIENTE).
    const std::string too_long(65, 'n');
    for (const std::string& name : {std::string("ca\x01ixa"), std::string("caixa\x7f"),
                                    std::string("ca\xe7"
                                                "a"),
                                    too_long}) {
        try {
            appserver::ClientTable::FromText("# clientes\n" + name + " token-caixa\n");
            ADD_FAILURE() << "accepted " << name;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("linha 2"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(appserver::ClientTable::FromText("jo\xc3\xa3o token-caixa\n" + std::string(64, 'n') + " t2\n").Size(),
              2u);
}

}  // namespace
