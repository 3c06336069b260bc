// SHA-256 against the standard's test messages, fed whole and in pieces of
// every alignment, so that both the portable rounds and the processor's SHA
// extensions (used where present) are held to the same digests.
#include "framework/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brimwell {
namespace {

struct Vector {
  std::string message;
  const char* digest;
};

std::vector<Vector> Vectors() {
  return {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
}

TEST(Sha256Test, StandardMessagesWholeAndInPieces) {
  for (const Vector& v : Vectors()) {
    EXPECT_EQ(Sha256Hex(v.message), v.digest) << v.message.size();
    // Pieces that cut the 64-byte blocks everywhere.
    for (std::size_t piece : {1u, 7u, 63u, 64u, 65u, 1000u}) {
      Sha256 hash;
      for (std::size_t at = 0; at < v.message.size(); at += piece) {
        hash.Update(std::string_view(v.message).substr(at, piece));
      }
      EXPECT_EQ(hash.FinishHex(), v.digest) << v.message.size() << " in pieces of " << piece;
    }
  }
}

TEST(Sha256Test, LengthsAroundThePadding) {
  // 55 bytes fit one padded block, 56 need a second.
  EXPECT_EQ(Sha256Hex(std::string(55, 'a')),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(Sha256Hex(std::string(56, 'a')),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(Sha256Hex(std::string(64, 'a')),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

}  // namespace
}  // namespace brimwell
