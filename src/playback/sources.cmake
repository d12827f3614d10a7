# Files of src/playback, appended to the core library.
