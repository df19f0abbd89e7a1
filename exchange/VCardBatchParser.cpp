#include "VCardBatchParser.h"

#include "VCardLibrary.h"
#include "VCardMapping.h"

#include <memory>

namespace exchange {

ParsedCards parseCards(const QList<QStringList> &cards)
{
    ParsedCards parsed;
    parsed.records.reserve(cards.size());
    const VCardLibrary &library = VCardLibrary::instance();
    for (const QStringList &lines : cards)
        for (const VCard &card : library.read(lines)) {
            parsed.records << recordFromVCard(card, parsed.notKept);
            parsed.repairs += card.repairs;
        }
    return parsed;
}

VCardBatchParser::VCardBatchParser(int threads)
{
    m_pool.setMaxThreadCount(qMax(1, threads));
}

VCardBatchParser::~VCardBatchParser()
{
    m_pool.waitForDone();
}

void VCardBatchParser::submit(QList<QStringList> cards, qsizetype characters)
{
    auto promise = std::make_shared<std::promise<ParsedCards>>();
    m_pending.push_back({promise->get_future(), characters});
    m_pendingCharacters += characters;
    m_pool.start([promise, cards = std::move(cards)] { promise->set_value(parseCards(cards)); });
}

ParsedCards VCardBatchParser::take()
{
    Pending oldest = std::move(m_pending.front());
    m_pending.pop_front();
    m_pendingCharacters -= oldest.characters;
    return oldest.result.get();
}

} // namespace exchange
