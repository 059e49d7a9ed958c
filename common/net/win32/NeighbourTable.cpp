#include "net/CNeighbourTable.h"

namespace ZiRez {

namespace {

// The Windows build does not read the system's neighbour table yet: every question fails
// and says so, so a guard that needs a peer's link-layer address refuses rather than
// guesses.
class CUnreadNeighbourTable : public CNeighbourTable
{
public:
    SNeighbour LinkAddressOf(const CPeerAddress&) override
    {
        SNeighbour neighbour;
        neighbour.why = "the neighbour table is not read on Windows";
        return neighbour;
    }
};

} // namespace

std::unique_ptr<CNeighbourTable> CreateNeighbourTable()
{
    return std::make_unique<CUnreadNeighbourTable>();
}

} // namespace ZiRez
