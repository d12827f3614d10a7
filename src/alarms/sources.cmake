# Files of src/alarms, appended to the core library.
