# Files of src/push, appended to the core library.
