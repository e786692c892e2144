// Where the main window's panes go in its client area: the folder tree and the file list on
// top, the chat box and the transfer view below, a vertical splitter between the left and the
// right column and a horizontal one between top and bottom, each 5 pixels thick.
#pragma once

struct tPane {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool Contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

struct tMainLayout {
    tPane tree;
    tPane list;
    tPane horizontalSplitter;
    tPane verticalSplitter;
    tPane chat;
    tPane transferGroup;
    tPane transferView; // inside the group box
};

// width, height: the client area; left: the left column's width; bottom: the bottom row's height.
tMainLayout ComputeLayout(int width, int height, int left, int bottom);
// Keeps the splitters where the panes stay usable: the bottom row at most height - 150, the
// left column at most width - 150, neither below a few pixels.
void ClampPanels(int width, int height, int& left, int& bottom);
