#include "GameView.h"

// No windows natively: there is no view for a game to draw into.

GameView::GameView(xNativeWindow&, xWindowPoint, GameViewListener&) {}

GameView::~GameView() = default;

uint64_t GameView::HandleValue() const
{
    return 0;
}

void GameView::Place(const xWindowRect&) {}

void GameView::Show() {}

void GameView::Hide() {}

bool IsGameWindowAlive(uint64_t)
{
    return false;
}

void AskGameWindowToClose(uint64_t) {}
