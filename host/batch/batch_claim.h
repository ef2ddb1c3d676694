// batch_claim.h -- one unit of a batch rendered by one task at a time: a claim file naming the host and process.
#pragma once

#include <cstdint>
#include <string>

namespace gloamer {

// How long a claim holds by default when its process cannot be asked (another machine's): a day.
constexpr double defaultClaimExpirySeconds = 24 * 3600;

// A claim on one unit: a file that appears whole and only where none stood (so two tasks never both hold one),
// naming this machine, this process and when. One is taken over only when it names an ended process of this
// machine, when it is older than `expirySeconds`, or when it cannot be read. The destructor removes it while it
// is still this one's.
class UnitClaim {
public:
    UnitClaim(std::string path, double expirySeconds);
    ~UnitClaim();
    UnitClaim(const UnitClaim&) = delete;
    UnitClaim& operator=(const UnitClaim&) = delete;

    bool held() const { return held_; }
    // Who holds it when this one does not ("host H, process P, for N s"), or why it could not be taken.
    const std::string& holder() const { return holder_; }

private:
    bool create();
    bool takeOverStale(const std::string& seen);

    std::string path_;
    std::string token_; // this claim's own, so that its release removes no other
    double expirySeconds_;
    bool held_ = false;
    std::string holder_;
};

// The text of a claim, for tests that play another task: its host, process and time (seconds since 1970).
std::string claimText(const std::string& host, long pid, int64_t claimedAt, const std::string& token);

} // namespace gloamer
