#pragma once

// What a screen reader meets for a TextLabel. A caption announces its text, as Qt's labels
// do. A label given an accessible name for what it shows (a path, the status line)
// announces that name, with the text it shows as its description: the one other text that
// readers get from a label.
void installAccessibleLabels();
