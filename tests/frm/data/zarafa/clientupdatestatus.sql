CREATE TABLE `clientupdatestatus` (
  `userid` int(10) unsigned NOT NULL,
  `trackid` int(10) unsigned NOT NULL,
  `updatetime` datetime /* mariadb-5.3 */ NOT NULL,
  `currentversion` varchar(50) CHARACTER SET utf8mb3 COLLATE utf8mb3_bin NOT NULL,
  `latestversion` varchar(50) CHARACTER SET utf8mb3 COLLATE utf8mb3_bin NOT NULL,
  `computername` varchar(255) CHARACTER SET utf8mb3 COLLATE utf8mb3_bin NOT NULL,
  `status` int(10) unsigned NOT NULL,
  PRIMARY KEY (`userid`),
  UNIQUE KEY `trackid` (`trackid`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
