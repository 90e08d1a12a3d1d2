#pragma once
// The screen's five queries over the host's database: SQL, parameters and fields.
namespace Cli_Vor17000 {

class TfrmDataEmissao;

void ConfigureLookupQueries(TfrmDataEmissao& screen);

}  // namespace Cli_Vor17000
