#include "randomnumbergenerator.h"

#include <utility>

namespace shared {

namespace {

const char* const kSourceName = "launcher/src/shared/randomnumbergenerator";

// A reversed range is a programming error; outside debug builds it is served
// as the range it names instead of handing the distribution undefined input.
template <typename TInteger>
void checkRange(TInteger& nMin, TInteger& nMax)
{
    Q_ASSERT_X(nMin <= nMax, kSourceName, "Min <= Max");
    if (nMin > nMax)
        std::swap(nMin, nMax);
}

} // namespace

TRandomNumberGenerator::TRandomNumberGenerator()
{
    std::random_device oDevice;
    m_oEngine.seed(oDevice());
}

TRandomNumberGenerator::~TRandomNumberGenerator() = default;

std::size_t TRandomNumberGenerator::randomIndex(std::size_t nMin, std::size_t nMax)
{
    return static_cast<std::size_t>(randomUnsigned(nMin, nMax));
}

quint64 TRandomNumberGenerator::randomUnsigned(quint64 nMin, quint64 nMax)
{
    checkRange(nMin, nMax);
    std::uniform_int_distribution<quint64> oDistribution(nMin, nMax);
    const std::lock_guard<std::mutex> oLock(m_oMutex);
    return oDistribution(m_oEngine);
}

qint64 TRandomNumberGenerator::randomSigned(qint64 nMin, qint64 nMax)
{
    checkRange(nMin, nMax);
    std::uniform_int_distribution<qint64> oDistribution(nMin, nMax);
    const std::lock_guard<std::mutex> oLock(m_oMutex);
    return oDistribution(m_oEngine);
}

std::shared_ptr<TRandomNumberGenerator> TRandomNumberGenerator::instance()
{
    static const std::shared_ptr<TRandomNumberGenerator> s_pInstance = std::make_shared<TRandomNumberGenerator>();
    return s_pInstance;
}

} // namespace shared
