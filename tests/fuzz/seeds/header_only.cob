Caligari V00.01BLH             
