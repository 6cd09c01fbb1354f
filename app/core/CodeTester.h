#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace App
{

// Monotony that the code tester expects of one part (ST or MT) of the readings.
enum MONOTONY : int
{
    MONO_NO_TEST = 0,
    MONO_ASC = 1,
    MONO_DESC = 2,
    MONO_AUTODETECT = 3,
};

// Checks a buffer of raw encoder readings, taken at equal time steps, for monotony and step
// errors of the singleturn (ST) and multiturn (MT) part, and counts the turns of each part.
class CodeTester
{
public:
    struct Config
    {
        unsigned int m_MtStepSize = 1; // largest allowed change between two readings
        unsigned int m_StStepSize = 1;
        unsigned int m_MtBits = 12;
        unsigned int m_StBits = 13;
        MONOTONY m_MtMonotony = MONO_AUTODETECT;
        MONOTONY m_StMonotony = MONO_AUTODETECT;
        bool m_Gray = false; // readings are Gray coded: affects the values shown in messages only
        unsigned int m_ErrorLimit = 1;

        unsigned int GetStMask() const { return Mask(m_StBits); }
        unsigned int GetMtMask() const { return Mask(m_MtBits); }
    };

    struct Result
    {
        MONOTONY m_StMonotony = MONO_NO_TEST; // in effect at the end: Autodetect becomes the
        MONOTONY m_MtMonotony = MONO_NO_TEST; // detected direction once there was one
        unsigned int m_StMonotonyErrors = 0;
        unsigned int m_MtMonotonyErrors = 0;
        unsigned int m_StStepErrors = 0;
        unsigned int m_MtStepErrors = 0;
        unsigned int m_StTurns = 0;
        unsigned int m_MtTurns = 0;
        std::vector<std::string> m_Messages;

        std::uint64_t GetErrorCount() const
        {
            return std::uint64_t(m_StMonotonyErrors) + m_MtMonotonyErrors + m_StStepErrors +
                   m_MtStepErrors;
        }
        bool Passed() const { return GetErrorCount() == 0; }
    };

    // Outcome of the window test.
    struct Window
    {
        bool m_Passed;
        std::uint64_t m_Forward;  // (value - reference) mod 2^bits
        std::uint64_t m_Backward; // (reference - value) mod 2^bits
    };

    // Error messages kept per run. A dialog limit has at most 3 digits, so a run stops after at
    // most 999 + 3 errors and keeps all of their messages; a larger limit (possible only from
    // code) still counts every error but stores no more messages than this.
    static constexpr std::size_t kMaxErrorMessages = 1024;

    CodeTester() = default;
    explicit CodeTester(const Config& config) : m_Config(config) {}

    void SetConfig(const Config& config) { m_Config = config; }
    const Config& GetConfig() const { return m_Config; }
    const Result& GetResult() const { return m_Result; }

    // Checks the readings with the current configuration; the result replaces the previous
    // one. True when the run had at least 3 readings and no error.
    bool Test(std::span<const unsigned int> readings);

    // Low bits set: 0 for 0 bits, all 32 bits for 32 or more.
    static unsigned int Mask(unsigned int bits);

    // Window test: does value lie in the window from reference to reference + step (step > 0)
    // or reference + step to reference (step <= 0), wrapping at 2^bits? Value and reference are
    // taken modulo 2^bits; bits above 32 count as 32. 64-bit arithmetic, so that every width up
    // to 32 and every step is exact.
    static Window TestWindow(std::uint64_t value, unsigned int bits, std::uint64_t reference,
                             std::int64_t step);

    // Converts a Gray coded 32-bit value to binary.
    static unsigned int GrayToBinary(unsigned int gray);

    // The scan over blocks of readings in which nothing can happen is on by default; switching
    // it off checks reading by reading (tests compare the two, the benchmark times them).
    void SetBlockScan(bool on) { m_BlockScan = on; }

private:
    struct Part;

    void CheckPart(Part& part, std::size_t i, unsigned int previous, unsigned int current);
    bool CheckReading(Part& st, Part& mt, std::span<const unsigned int> readings, std::size_t i);
    bool KeepsErrorMessage(); // counts the message when it is kept

    Config m_Config;
    Result m_Result;
    std::size_t m_ErrorMessages = 0;
    bool m_BlockScan = true;
};

} // namespace App
