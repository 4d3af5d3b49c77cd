#pragma once

#include <QTest>

// Data tables in one call each: columns<int, QString>("a", "b") and row("name", 1, "text").
template <typename... T, typename... N> void columns(const N&... names)
{
    (QTest::addColumn<T>(names), ...);
}
template <typename... T> void row(const char* name, const T&... values)
{
    (QTest::newRow(name) << ... << values);
}
