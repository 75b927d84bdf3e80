#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// Hands the input to a line in pieces: 0xFF bytes stand for a quiet spell on the line between
// two pieces, when idle() is called.
template <class Receive, class Idle>
void feedInPieces(const std::uint8_t* data, std::size_t size, Receive receive, Idle idle)
{
    QByteArray piece;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF) {
            receive(piece);
            idle();
            piece.clear();
        } else {
            piece.append(char(data[i]));
        }
    }
    receive(piece);
}
