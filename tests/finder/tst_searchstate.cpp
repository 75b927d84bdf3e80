#include "finder/SearchState.h"

#include <QTest>

using finder::SearchState;

namespace
{

// Ticks of the 500 ms timer until a search is due, or -1 when none comes within 20 ticks.
int ticksUntilSearch(SearchState& state)
{
    for (int tick = 1; tick <= 20; ++tick) {
        if (state.tick())
            return tick;
    }
    return -1;
}

void searchFinding(SearchState& state, int modules)
{
    QVERIFY(state.begin());
    state.endWindow(modules);
}

} // namespace

class tst_SearchState : public QObject
{
    Q_OBJECT

private slots:
    void secondRequestDroppedWhileSearching();
    void countChange_data();
    void countChange();
    void addressChangeRescan();
};

void tst_SearchState::secondRequestDroppedWhileSearching()
{
    SearchState state;
    QVERIFY(state.begin());
    QVERIFY(!state.begin());
    state.endWindow(0);
    QVERIFY(!state.searching());
    QVERIFY(state.begin());
}

void tst_SearchState::countChange_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("ticks");

    QTest::newRow("three then two: search after five ticks (2.5 s)") << 3 << 2 << 5;
    QTest::newRow("one then none") << 1 << 0 << 5;
    QTest::newRow("two then three: none") << 2 << 3 << -1;
    QTest::newRow("same count: none") << 3 << 3 << -1;
}

void tst_SearchState::countChange()
{
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(int, ticks);
    SearchState state;
    searchFinding(state, before);
    QCOMPARE(ticksUntilSearch(state), -1);
    searchFinding(state, after);
    QCOMPARE(ticksUntilSearch(state), ticks);
    QCOMPARE(state.previousCount(), after);
}

void tst_SearchState::addressChangeRescan()
{
    SearchState state;
    searchFinding(state, 1);
    state.scheduleRescan(10);
    QCOMPARE(ticksUntilSearch(state), 10);
    QCOMPARE(ticksUntilSearch(state), -1);
}

QTEST_GUILESS_MAIN(tst_SearchState)
#include "tst_searchstate.moc"
