# Files of src/widgets, appended to the core library.
