// Words typed at the confirmation prompt, or piped in by a deployment script. The first Y or N
// in either case decides; every other word is answered with the complaint and the question
// again; input that ends without an answer means no.
#include "fuzz_support.h"
#include "platform/platform_fake.h"
#include "process_state.h"
#include "update/confirmation.h"

namespace {

const std::string question = "Do you want to update the Management Engine firmware now [Y/N]? ";
const std::string complaint = "Invalid input.  Please input Y for yes or N for no.\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

// The input cut at line feeds gives the words; a word may hold any other byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  platform::FakePlatform& fake = platform::fakePlatform();
  if (size > 0) fake.inputWords = splitAt(asText(data, size), '\n');

  std::string expectedOutput;
  std::size_t wordsRead = 0;
  bool expectedYes = false;
  bool decided = false;
  for (const std::string& word : fake.inputWords) {
    expectedOutput += question;
    ++wordsRead;
    if (word == "y" || word == "Y" || word == "n" || word == "N") {
      expectedYes = word == "y" || word == "Y";
      decided = true;
      break;
    }
    expectedOutput += complaint;
  }
  if (!decided) expectedOutput += question;
  expectedOutput += "\n";

  bool yes = false;
  try {
    yes = askUserToUpdate();
  } catch (const std::string& message) {
    fuzzFailure("the question raised " + message);
  }
  fuzzCheck(yes == expectedYes, yes ? "taken as yes" : "taken as no");
  fuzzCheck(fake.inputWordsRead == wordsRead, "read " + std::to_string(fake.inputWordsRead) +
                                                  " words, not " + std::to_string(wordsRead));
  fuzzCheck(fake.output == expectedOutput, "console shows " + fake.output);
  return 0;
}
