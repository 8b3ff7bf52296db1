CREATE TABLE `names` (
  `id` int(11) NOT NULL AUTO_INCREMENT,
  `nameid` int(11) DEFAULT NULL,
  `namestring` varchar(255) CHARACTER SET utf8mb3 COLLATE utf8mb3_bin DEFAULT NULL,
  `guid` blob NOT NULL,
  PRIMARY KEY (`id`),
  KEY `nameid` (`nameid`),
  KEY `namestring` (`namestring`),
  KEY `guidnameid` (`guid`(16),`nameid`),
  KEY `guidnamestring` (`guid`(16),`namestring`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
