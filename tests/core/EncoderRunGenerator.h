#pragma once

// Encoder runs for the code tester tests. A run is a position that moves by a fixed stride per
// reading, and a reading is the position's low ST + MT bits: ST wraps into MT and MT wraps to 0
// as on a real encoder, in both directions. Glitches change the run at chosen indexes, and the
// generator lists the errors each glitch must cause.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace EncoderRun
{

enum class Part
{
    ST,
    MT
};

enum class Kind
{
    STEP,
    MONOTONY
};

enum class Glitch
{
    STUCK,    // the reading repeats the one before and the run goes on from there: no error
    JUMP,     // the part moves one more than its step size and goes on from there
    BACKWARD, // the part moves one count back and goes on from there
    SPIKE,    // one reading shows the part a quarter of its range ahead; the next is right again
};

struct Error
{
    Part part;
    Kind kind;
    std::size_t index; // index of the later of the two readings the message names
    auto operator<=>(const Error&) const = default;
};

struct Injection
{
    std::size_t index;
    Glitch glitch;
    Part part;
};

struct GeneratedRun
{
    std::vector<unsigned int> readings;
    std::vector<std::int64_t> positions; // where the encoder is at each reading
    std::vector<Error> errors;           // what the glitches must cause, in message order
    std::string invalid;                 // why the injections do not give these errors, if so
};

struct Generator
{
    unsigned int stBits = 13;
    unsigned int mtBits = 12;
    unsigned int stStep = 1; // the tester's step sizes: jumps exceed them by one
    unsigned int mtStep = 1;
    std::int64_t start = 0;
    std::int64_t stride = 1; // position change per reading, negative to descend

    std::int64_t Unit(Part part) const { return part == Part::ST ? 1 : std::int64_t(1) << stBits; }
    std::int64_t Range(Part part) const
    {
        return std::int64_t(1) << (part == Part::ST ? stBits : mtBits);
    }
    unsigned int Step(Part part) const { return part == Part::ST ? stStep : mtStep; }
    std::int64_t StValue(std::int64_t position) const { return position & (Range(Part::ST) - 1); }
    std::int64_t MtValue(std::int64_t position) const
    {
        return (position >> stBits) & (Range(Part::MT) - 1);
    }

    GeneratedRun Generate(std::size_t count, const std::vector<Injection>& injections = {}) const
    {
        const std::int64_t direction = stride < 0 ? -1 : 1;
        const std::uint64_t readingMask = (std::uint64_t(1) << (stBits + mtBits)) - 1;
        GeneratedRun run;
        std::vector<std::int64_t> shown; // what each reading shows: the position or a spike
        std::int64_t position = start;
        for (std::size_t k = 0; k < count; ++k)
        {
            const Injection* glitch = nullptr;
            for (const Injection& injection : injections)
            {
                glitch = injection.index == k ? &injection : glitch;
            }
            std::int64_t move = k == 0 ? 0 : stride;
            std::int64_t spike = 0;
            if (glitch != nullptr)
            {
                const Part p = glitch->part;
                // An MT glitch leaves the ST part moving as usual.
                const std::int64_t usual = p == Part::MT ? stride : 0;
                switch (glitch->glitch)
                {
                case Glitch::STUCK:
                    move = 0;
                    break;
                case Glitch::JUMP:
                    move = usual + direction * Unit(p) * (Step(p) + 1);
                    Expect(run, p, Kind::STEP, k);
                    break;
                case Glitch::BACKWARD:
                    move = usual - direction * Unit(p);
                    Expect(run, p, Kind::STEP, k);
                    Expect(run, p, Kind::MONOTONY, k);
                    break;
                case Glitch::SPIKE:
                    spike = direction * Unit(p) * (Range(p) / 4);
                    Expect(run, p, Kind::STEP, k);
                    Expect(run, p, Kind::STEP, k + 1);
                    Expect(run, p, Kind::MONOTONY, k + 1);
                    break;
                }
            }
            position += move;
            run.positions.push_back(position);
            shown.push_back(position + spike);
            run.readings.push_back(unsigned(std::uint64_t(position + spike) & readingMask));
        }
        std::sort(run.errors.begin(), run.errors.end(),
                  [](const Error& a, const Error& b) {
                      return std::tie(a.index, a.part, a.kind) < std::tie(b.index, b.part, b.kind);
                  });

        // A glitch must not drag the other part along: an ST glitch keeps MT still, an MT glitch
        // happens within one turn of ST. A stuck reading belongs to no part.
        for (const Injection& injection : injections)
        {
            const std::size_t k = injection.index;
            const std::size_t last = injection.glitch == Glitch::SPIKE ? k + 1 : k;
            if (k == 0 || last >= count)
            {
                run.invalid = "glitch at the start or end of the run";
                continue;
            }
            for (std::size_t j = k; injection.glitch != Glitch::STUCK && j <= last; ++j)
            {
                const bool sameTurn = (shown[j - 1] >> stBits) == (shown[j] >> stBits);
                const bool stUsual = StValue(shown[j]) - StValue(shown[j - 1]) == stride;
                if (injection.part == Part::ST ? !sameTurn : !stUsual)
                {
                    run.invalid = "glitch at index " + std::to_string(k) +
                                  " reaches into the other part; choose another index";
                }
            }
        }
        return run;
    }

private:
    static void Expect(GeneratedRun& run, Part part, Kind kind, std::size_t index)
    {
        run.errors.push_back(Error{part, kind, index});
    }
};

// Turns the tester counts on a clean run in which each part moves by exactly its step size (ST:
// |stride| == stStep; MT: mtStep == 1, as MT moves one count per ST turn). A turn is counted each
// time the part comes within one step of its first value again, so the count is (steps + 1) /
// (steps per turn), with the steps made up to the reading `end` (exclusive).
inline unsigned int CleanTurns(const Generator& g, const GeneratedRun& run, Part part,
                               std::size_t end)
{
    const std::int64_t first = run.positions.front();
    const std::int64_t last = run.positions[end - 1];
    std::int64_t steps, perTurn;
    if (part == Part::ST)
    {
        steps = (last > first ? last - first : first - last) / g.stStep;
        perTurn = g.Range(Part::ST) / g.stStep;
    }
    else
    {
        const std::int64_t turns = (last >> g.stBits) - (first >> g.stBits);
        steps = turns < 0 ? -turns : turns;
        perTurn = g.Range(Part::MT);
    }
    return unsigned((steps + 1) / perTurn);
}

} // namespace EncoderRun
