#pragma once

// Where the launcher puts its picture: centred horizontally in the client
// area, its top at a quarter of the height the picture leaves free. Integer
// division, as the window rectangles are whole pixels; a picture larger than
// the client area gets a negative offset and is cut on both sides alike.
struct LogoPosition {
    int left;
    int top;
};

constexpr LogoPosition logo_position(int client_width, int client_height, int picture_width, int picture_height) {
    return {(client_width - picture_width) / 2, (client_height - picture_height) / 4};
}
