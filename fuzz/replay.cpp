// Runs a fuzz target's entry point once on every file below the folders given:
// built with the ordinary compiler, it lets every test run replay the committed
// corpus, in the sanitizer build too. Exits 1 when it found no input at all.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* pArgc, char*** pppArgv);

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int nInputs = 0;
    for (int nArgument = 1; nArgument < argc; ++nArgument) {
        for (const auto& oEntry : std::filesystem::recursive_directory_iterator(argv[nArgument])) {
            if (!oEntry.is_regular_file())
                continue;
            std::ifstream oFile(oEntry.path(), std::ios::binary);
            const std::vector<char> lBytes{std::istreambuf_iterator<char>(oFile), std::istreambuf_iterator<char>()};
            // A buffer of exactly the input's size, as the fuzzer hands it over,
            // so that a read past its end is caught.
            const auto pInput = std::make_unique<uint8_t[]>(lBytes.size());
            std::copy(lBytes.begin(), lBytes.end(), pInput.get());
            std::printf("%s\n", oEntry.path().c_str());
            LLVMFuzzerTestOneInput(pInput.get(), lBytes.size());
            ++nInputs;
        }
    }
    std::printf("%d inputs replayed\n", nInputs);
    return nInputs > 0 ? 0 : 1;
}
