#pragma once
// Real signed catalogs for the restore tests, which refuse on 64-bit Windows what
// 64-bit Windows refuses: made by tests/signatures/make_catalog.py and signed by
// tests/signatures/sign_catalog.sh (osslsigncode) with a throwaway certificate of
// "Qelvaro Test Publisher", made once per test program.

#include <string>

namespace qelvaro::testing {

inline constexpr char kTestSigner[] = "Qelvaro Test Publisher";

// The bytes of a signed catalog naming every file below the host folder `folder`
// but catalogs, each by the hash Windows takes of it (a PE image's Authenticode hash,
// else the hash of all its bytes), with SHA-256.
std::string SignedCatalogOf(const std::string& folder);

}  // namespace qelvaro::testing
