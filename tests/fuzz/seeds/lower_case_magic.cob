caligari V00.01BLH             
