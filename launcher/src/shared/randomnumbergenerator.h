#pragma once

#include <QtGlobal>

#include <cstddef>
#include <memory>
#include <mutex>
#include <random>

namespace shared {

// Uniform random integers from one Mersenne Twister, seeded from the platform's
// random device. Calls may come from any thread.
class TRandomNumberGenerator
{
public:
    TRandomNumberGenerator();
    virtual ~TRandomNumberGenerator();
    TRandomNumberGenerator(const TRandomNumberGenerator&) = delete;
    TRandomNumberGenerator& operator=(const TRandomNumberGenerator&) = delete;

    // The same as randomUnsigned, for indices into containers.
    virtual std::size_t randomIndex(std::size_t nMin, std::size_t nMax);
    // Uniform in [nMin, nMax]; nMin must not exceed nMax.
    virtual quint64 randomUnsigned(quint64 nMin, quint64 nMax);
    virtual qint64 randomSigned(qint64 nMin, qint64 nMax);

    // The process-wide instance, made on first use.
    static std::shared_ptr<TRandomNumberGenerator> instance();

private:
    std::mutex m_oMutex;
    std::mt19937 m_oEngine;
};

} // namespace shared
